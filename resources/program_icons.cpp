#include "resources/program_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <array>

namespace dkq {
namespace {

constexpr int Grid = 64;  // icons are drawn on a 64 × 64 grid and scaled
constexpr std::array WindowIconSizes = {16, 24, 32, 48, 64, 128};

void paintBackground(QPainter& p, const QColor& color) {
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
}

// Bars of a monitor of lines and counters.
void paintMultimon(QPainter& p) {
    paintBackground(p, QColor(0x1f, 0x3b, 0x57));
    constexpr std::array heights = {30, 42, 22, 36};
    for (int bar = 0; bar < static_cast<int>(heights.size()); ++bar) {
        const int x = 10 + bar * 12;
        p.setBrush(QColor(0x33, 0x4d, 0x66));
        p.drawRect(x, 10, 8, 44);
        p.setBrush(bar == 3 ? QColor(0xf2, 0xb1, 0x34) : QColor(0x4c, 0xd1, 0x6a));
        p.drawRect(x, 54 - heights[bar], 8, heights[bar]);
    }
}

// A module on a bus, with a signal.
void paintDkqsim(QPainter& p) {
    paintBackground(p, QColor(0x3b, 0x2f, 0x57));
    p.setBrush(QColor(0xe8, 0xe8, 0xf0));
    p.drawRoundedRect(QRectF(12, 12, 40, 28), 4, 4);
    QPainterPath wave;
    wave.moveTo(16, 26);
    wave.cubicTo(22, 14, 26, 14, 32, 26);
    wave.cubicTo(38, 38, 42, 38, 48, 26);
    p.setPen(QPen(QColor(0x3b, 0x2f, 0x57), 3));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
    p.setPen(QPen(QColor(0xf2, 0xb1, 0x34), 4));
    p.drawLine(8, 50, 56, 50);
    p.drawLine(24, 40, 24, 50);
    p.drawLine(40, 40, 40, 50);
}

// A command prompt.
void paintDkq(QPainter& p) {
    paintBackground(p, QColor(0x22, 0x26, 0x2b));
    p.setPen(QPen(QColor(0x4c, 0xd1, 0x6a), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygon({QPoint(14, 20), QPoint(28, 32), QPoint(14, 44)}));
    p.drawLine(32, 46, 50, 46);
}

// Three setting sliders of a configuration.
void paintModcfg(QPainter& p) {
    paintBackground(p, QColor(0x57, 0x3a, 0x1f));
    constexpr std::array knobs = {40, 20, 32};
    for (int row = 0; row < static_cast<int>(knobs.size()); ++row) {
        const int y = 18 + row * 14;
        p.setPen(QPen(QColor(0xe8, 0xe0, 0xd0), 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(12, y, 52, y);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x4c, 0xd1, 0x6a));
        p.drawEllipse(QPointF(knobs[row], y), 6, 6);
    }
}

// A memory chip emptying into a sheet of rows.
void paintDkqLogger(QPainter& p) {
    paintBackground(p, QColor(0x1d, 0x4d, 0x3a));
    p.setBrush(QColor(0xe8, 0xf0, 0xe8));
    p.drawRoundedRect(QRectF(30, 22, 26, 34), 3, 3);
    p.setPen(QPen(QColor(0x1d, 0x4d, 0x3a), 2));
    for (int row = 0; row < 4; ++row) p.drawLine(34, 29 + row * 7, 52, 29 + row * 7);
    p.setPen(QPen(QColor(0xb0, 0xb8, 0xc0), 2));
    for (int pin = 0; pin < 4; ++pin) {
        p.drawLine(10 + pin * 5, 8, 10 + pin * 5, 12);
        p.drawLine(10 + pin * 5, 32, 10 + pin * 5, 36);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x22, 0x26, 0x2b));
    p.drawRect(8, 12, 20, 20);
    p.setBrush(QColor(0xf2, 0xb1, 0x34));
    p.drawPolygon(QPolygon({QPoint(14, 38), QPoint(22, 38), QPoint(22, 46), QPoint(27, 46),
                            QPoint(18, 56), QPoint(9, 46), QPoint(14, 46)}));
}

}  // namespace

QImage programIconImage(ProgramIcon program, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(static_cast<double>(size) / Grid, static_cast<double>(size) / Grid);
    switch (program) {
        case ProgramIcon::Multimon:
            paintMultimon(painter);
            break;
        case ProgramIcon::Dkqsim:
            paintDkqsim(painter);
            break;
        case ProgramIcon::Dkq:
            paintDkq(painter);
            break;
        case ProgramIcon::Modcfg:
            paintModcfg(painter);
            break;
        case ProgramIcon::DkqLogger:
            paintDkqLogger(painter);
            break;
    }
    return image;
}

QIcon programIcon(ProgramIcon program) {
    QIcon icon;
    for (const int size : WindowIconSizes)
        icon.addPixmap(QPixmap::fromImage(programIconImage(program, size)));
    return icon;
}

}  // namespace dkq
