// Draws the application icon from one description into the SVG and the PNG
// sizes under packaging/icons, so that the two can never disagree. Run it
// (target tavora-make-icons) after changing the picture:
//   tavora-make-icons packaging/icons
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <cstdio>
#include <vector>

namespace {

// A 64 x 64 picture: a processor chip with pins, the yellow program-counter
// arrow of the code view on it and a red breakpoint disc.
struct TShape {
  enum { Rect, Polygon, Circle } Kind;
  std::vector<double> P;  // rect: x y w h radius; polygon: x y pairs; circle: cx cy r
  const char* Fill;
  const char* Stroke = nullptr;
  double StrokeWidth = 0;
};

std::vector<TShape> Picture() {
  std::vector<TShape> shapes;
  for (int i = 0; i < 4; ++i) {
    const double at = 17 + i * 8.5;
    shapes.push_back({TShape::Rect, {at, 5, 4, 9, 1}, "#9aa1ad"});
    shapes.push_back({TShape::Rect, {at, 50, 4, 9, 1}, "#9aa1ad"});
    shapes.push_back({TShape::Rect, {5, at, 9, 4, 1}, "#9aa1ad"});
    shapes.push_back({TShape::Rect, {50, at, 9, 4, 1}, "#9aa1ad"});
  }
  shapes.push_back({TShape::Rect, {11, 11, 42, 42, 5}, "#1d2f6f", "#0c1740", 1.5});
  shapes.push_back({TShape::Polygon, {18, 19, 34, 30, 18, 41}, "#ffd21f", "#8a6d00", 1});
  shapes.push_back({TShape::Circle, {41.5, 41.5, 6.5}, "#e32222", "#ffffff", 1.5});
  return shapes;
}

QString Svg(const std::vector<TShape>& shapes) {
  QString out;
  QTextStream s(&out);
  s << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" viewBox=\"0 0 64 64\">\n";
  for (const TShape& shape : shapes) {
    const auto& p = shape.P;
    s << "  ";
    if (shape.Kind == TShape::Rect) {
      s << "<rect x=\"" << p[0] << "\" y=\"" << p[1] << "\" width=\"" << p[2] << "\" height=\"" << p[3] << "\" rx=\""
        << p[4] << "\"";
    } else if (shape.Kind == TShape::Polygon) {
      s << "<polygon points=\"";
      for (size_t i = 0; i < p.size(); i += 2) s << (i ? " " : "") << p[i] << "," << p[i + 1];
      s << "\"";
    } else {
      s << "<circle cx=\"" << p[0] << "\" cy=\"" << p[1] << "\" r=\"" << p[2] << "\"";
    }
    s << " fill=\"" << shape.Fill << "\"";
    if (shape.Stroke) s << " stroke=\"" << shape.Stroke << "\" stroke-width=\"" << shape.StrokeWidth << "\"";
    s << "/>\n";
  }
  s << "</svg>\n";
  return out;
}

QImage Png(const std::vector<TShape>& shapes, int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter g(&image);
  g.setRenderHint(QPainter::Antialiasing);
  g.scale(size / 64.0, size / 64.0);
  for (const TShape& shape : shapes) {
    const auto& p = shape.P;
    g.setBrush(QColor(shape.Fill));
    g.setPen(shape.Stroke ? QPen(QColor(shape.Stroke), shape.StrokeWidth) : QPen(Qt::NoPen));
    if (shape.Kind == TShape::Rect) {
      g.drawRoundedRect(QRectF(p[0], p[1], p[2], p[3]), p[4], p[4]);
    } else if (shape.Kind == TShape::Polygon) {
      QPolygonF polygon;
      for (size_t i = 0; i < p.size(); i += 2) polygon << QPointF(p[i], p[i + 1]);
      g.drawPolygon(polygon);
    } else {
      g.drawEllipse(QPointF(p[0], p[1]), p[2], p[2]);
    }
  }
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tavora-make-icons DIR\n");
    return 64;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  const std::vector<TShape> shapes = Picture();
  QFile svg(dir + "/tavora.svg");
  if (!svg.open(QIODevice::WriteOnly) || svg.write(Svg(shapes).toUtf8()) < 0) return 1;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString sub = QString("%1/%2x%2").arg(dir).arg(size);
    if (!QDir().mkpath(sub) || !Png(shapes, size).save(sub + "/tavora.png")) return 1;
  }
  return 0;
}
