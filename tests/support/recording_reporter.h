// A reporting interface that only records: what the code below the application would have shown.
// With it a test runs a generator or a solver stage on plain records, without the panel.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/reporter.h"
#include "platform/platform.h"

namespace zolva::testing {

class RecordingReporter final : public Reporter {
 public:
  std::vector<std::string> statuses, steps, progress, traces, messages;
  std::vector<std::pair<PanelLabel, std::string>> labels;
  std::vector<int> tabs, programErrors;
  std::vector<double> convergence, convergenceVolts;
  std::vector<SolvedFigures> solved;
  double pixelWidth = -1.0;
  bool pixelWidthEditable = true;
  int refreshes = 0, pendingEvents = 0;
  bool stop = false;
  // A flag read as a stop request too, as the panel reads the program's stop flag (none: unset).
  const bool* stopFlag = nullptr;
  // The automatic stop of the convergence monitor, as a count: a stop is requested once this
  // many convergence samples have arrived (0: never).
  std::size_t stopAfterSamples = 0;
  int answer = AnswerOk;  // what every message box answers
  // When set, message boxes are shown there too and answered by it, and pending events (after
  // every stage text too) are handled there, as the panel does.
  Platform* platform = nullptr;

  // Called with every status line and every stage text once it is recorded (none: nothing).
  std::function<void(const std::string&)> onStatus, onProgress;

  void ShowStatus(std::string_view text) override {
    statuses.emplace_back(text);
    if (onStatus) onStatus(statuses.back());
  }
  void ShowStep(std::string_view text) override { steps.emplace_back(text); }
  void ShowProgress(std::string_view text) override {
    progress.emplace_back(text);
    if (onProgress) onProgress(progress.back());
    if (platform != nullptr) platform->ProcessPendingEvents();
  }
  void ShowTrace(std::string_view text) override { traces.emplace_back(text); }
  void SetLabel(PanelLabel label, std::string_view text) override {
    labels.emplace_back(label, std::string(text));
  }
  void ShowTab(int tab) override { tabs.push_back(tab); }
  void ShowPixelWidth(double metres, bool editable) override {
    pixelWidth = metres;
    pixelWidthEditable = editable;
  }
  int MessageBox(std::string_view text, std::string_view caption, int buttons) override {
    messages.emplace_back(text);
    if (platform != nullptr)
      return platform->ShowMessageBox(std::string(text), std::string(caption), buttons);
    return answer;
  }
  void ReportProgramError(int code, std::string_view) override { programErrors.push_back(code); }
  void ShowConvergence(double value) override { convergence.push_back(value); }
  void ShowConvergenceVolts(double value) override { convergenceVolts.push_back(value); }
  void ShowSolvedFigures(SolvedFigures which) override { solved.push_back(which); }
  void RefreshDisplay() override { ++refreshes; }
  void RefreshStatusLine() override {}
  void ProcessPendingEvents() override {
    ++pendingEvents;
    if (platform != nullptr) platform->ProcessPendingEvents();
  }
  bool StopRequested() const override {
    return stop || (stopFlag != nullptr && *stopFlag) ||
           (stopAfterSamples > 0 && convergence.size() >= stopAfterSamples);
  }

  // The last text written to a label, or "" when none was.
  std::string Label(PanelLabel label) const {
    for (auto it = labels.rbegin(); it != labels.rend(); ++it)
      if (it->first == label) return it->second;
    return {};
  }
};

}  // namespace zolva::testing
