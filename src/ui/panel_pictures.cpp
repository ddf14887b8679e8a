#include "ui/panel_pictures.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "program/context.h"
#include "program/results_report.h"

namespace zolva {

namespace {

// Text of the results page: the design rows are 14 units apart.
constexpr int kResultsFontUnits = 11;

}  // namespace

PanelPicture::PanelPicture(Context& ctx, Kind kind, QSize design, QWidget* parent)
    : QWidget(parent), ctx_(ctx), kind_(kind), design_(design) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  if (kind == MaterialsChart) setCursor(Qt::PointingHandCursor);
}

double PanelPicture::Scale() const {
  return design_.height() > 0 ? static_cast<double>(height()) / design_.height() : 1.0;
}

void PanelPicture::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(),
             kind_ == ResultsPage ? PackedColor(kResultsBackground) : PackedColor(kPageBackground));
  p.scale(Scale(), Scale());
  switch (kind_) {
    case MaterialsChart:
      PaintChart(p);
      break;
    case ConvergenceGraph:
      PaintGraph(p);
      break;
    case ResultsPage:
      PaintResults(p);
      break;
  }
}

void PanelPicture::mousePressEvent(QMouseEvent* event) {
  const double s = Scale();
  if (onClick && s > 0) {
    onClick(static_cast<int>(std::floor(event->position().x() / s)),
            static_cast<int>(std::floor(event->position().y() / s)));
  }
}

void PanelPicture::PaintChart(QPainter& p) {
  const MaterialsPage& page = ctx_.panel.materialsPage;
  for (const ChartCell& cell : page.cells) {
    p.fillRect(QRect(cell.left, cell.top, cell.right - cell.left, cell.bottom - cell.top),
               PackedColor(cell.color));
  }
  if (page.hasSelection) p.fillRect(QRect(300, 30, 40, 40), PackedColor(page.swatchColor));
}

void PanelPicture::PaintGraph(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing, false);
  for (const GraphSegment& s : ctx_.panel.convergenceGraph) {
    p.setPen(QPen(PackedColor(s.color), 0));
    p.drawLine(s.x1, s.y1, s.x2, s.y2);
  }
}

void PanelPicture::PaintResults(QPainter& p) {
  p.setPen(QPen(Qt::black, 0));
  for (const ResultsRule& r : ResultsPageRules(design_.width(), design_.height())) {
    p.drawLine(r.x1, r.y1, r.x2, r.y2);
  }
  QFont font = this->font();
  font.setPixelSize(kResultsFontUnits);
  for (const ResultsLine& line : ctx_.results.page) {
    font.setBold(line.bold);
    p.setFont(font);
    p.setPen(PackedColor(line.color));
    // The design places a text by its top left corner.
    p.drawText(QPoint(line.x, line.y + QFontMetrics(font).ascent()),
               QString::fromStdString(line.text));
  }
}

}  // namespace zolva
