// The three pictures of the control panel, painted with QPainter from the panel model and the
// results record: the materials chart, the convergence graph and the results page. Each paints
// in design units; the panel's scale maps them onto the screen.
#pragma once

#include <QColor>
#include <QWidget>
#include <cstdint>
#include <functional>

namespace zolva {

struct Context;

// A packed colour R + 256 G + 65536 B.
inline QColor PackedColor(std::uint32_t c) {
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}

class PanelPicture : public QWidget {
 public:
  enum Kind { MaterialsChart, ConvergenceGraph, ResultsPage };
  // design: the picture's size in design units.
  PanelPicture(Context& ctx, Kind kind, QSize design, QWidget* parent);
  // Called with the click position in design units (the materials chart picks a colour).
  std::function<void(int x, int y)> onClick;
  QSize DesignSize() const { return design_; }

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void PaintChart(QPainter& p);
  void PaintGraph(QPainter& p);
  void PaintResults(QPainter& p);
  double Scale() const;

  Context& ctx_;
  Kind kind_;
  QSize design_;
};

}  // namespace zolva
