// Draws the program's image assets as PNG files into the folder given as the first argument (default: the
// current folder). The artwork is plain vector drawing so it can be redrawn at any size from here.
//
// Build and run from the repository root:
//   g++ -std=c++20 -fPIC resources/images/draw_images.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/draw_images
//   QT_QPA_PLATFORM=offscreen /tmp/draw_images resources/images resources/icons
// The second folder receives the desktop's themed icons: hicolor/<n>x<n>/apps/vandrel.png at the sizes launchers
// ask for, the tray's vandrel-tray(-alert).png, and the monochrome *-symbolic.png variants for panels that
// recolour icons.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <cmath>
#include <functional>
#include <iostream>

namespace {

const QColor kInk(0x3c, 0x3f, 0x45);
const QColor kAccent(0x2f, 0x6f, 0xd6);
const QColor kWarn(0xe0, 0x8a, 0x00);
const QColor kAlert(0xd9, 0x30, 0x25);
const QColor kOk(0x2e, 0x9e, 0x4f);

using Draw = std::function<void(QPainter&, double size)>;

bool save(const QString& folder, const QString& name, int w, int h, const Draw& draw)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p, std::min(w, h));
    p.end();
    const QString path = folder + "/" + name + ".png";
    if (!image.save(path)) {
        std::cerr << "cannot write " << path.toStdString() << "\n";
        return false;
    }
    return true;
}

QPen pen(const QColor& c, double width)
{
    return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// The Caps Lock mark: an outlined upward arrow over a bar, centred in a box of side s at (x, y).
void capsMark(QPainter& p, double x, double y, double s, const QColor& c, double stroke)
{
    QPainterPath arrow;
    arrow.moveTo(x + s * 0.5, y + s * 0.08);
    arrow.lineTo(x + s * 0.92, y + s * 0.52);
    arrow.lineTo(x + s * 0.68, y + s * 0.52);
    arrow.lineTo(x + s * 0.68, y + s * 0.70);
    arrow.lineTo(x + s * 0.32, y + s * 0.70);
    arrow.lineTo(x + s * 0.32, y + s * 0.52);
    arrow.lineTo(x + s * 0.08, y + s * 0.52);
    arrow.closeSubpath();
    p.setPen(pen(c, stroke));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arrow);
    p.drawRect(QRectF(x + s * 0.32, y + s * 0.80, s * 0.36, s * 0.1));
}

// A key cap: rounded square with a shadow edge.
void keyCap(QPainter& p, QRectF r, const QColor& face, const QColor& edge)
{
    const double radius = r.width() * 0.18;
    p.setPen(Qt::NoPen);
    p.setBrush(edge);
    p.drawRoundedRect(r.adjusted(0, r.height() * 0.06, 0, 0), radius, radius);
    p.setBrush(face);
    p.drawRoundedRect(r.adjusted(0, 0, 0, -r.height() * 0.06), radius, radius);
}

void simpleLogo(QPainter& p, double s)
{
    keyCap(p, QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88), kAccent, kAccent.darker(140));
    capsMark(p, s * 0.22, s * 0.18, s * 0.56, Qt::white, s * 0.06);
}

void vandrelLogo(QPainter& p, double s)
{
    QLinearGradient g(0, 0, 0, s);
    g.setColorAt(0, kAccent.lighter(125));
    g.setColorAt(1, kAccent.darker(115));
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent.darker(160));
    p.drawRoundedRect(QRectF(s * 0.08, s * 0.12, s * 0.84, s * 0.82), s * 0.18, s * 0.18);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(s * 0.08, s * 0.06, s * 0.84, s * 0.82), s * 0.18, s * 0.18);
    capsMark(p, s * 0.24, s * 0.16, s * 0.52, Qt::white, s * 0.045);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x7d, 0xe0, 0x8c));
    p.drawEllipse(QPointF(s * 0.77, s * 0.2), s * 0.045, s * 0.045);
}

// The tray icon: the key drawn light on a dark plate with a light edge. The plate stands out on light panels,
// the edge and the mark on dark ones, so it reads on any panel without knowing the panel's colour.
void trayIcon(QPainter& p, double s, bool alert)
{
    p.setPen(pen(Qt::white, s * 0.08));
    p.setBrush(QColor(0x26, 0x28, 0x2c));
    p.drawRoundedRect(QRectF(s * 0.1, s * 0.1, s * 0.8, s * 0.8), s * 0.16, s * 0.16);
    capsMark(p, s * 0.25, s * 0.22, s * 0.5, Qt::white, s * 0.07);
    if (alert) {
        p.setPen(Qt::NoPen);
        p.setBrush(kAlert);
        p.drawEllipse(QPointF(s * 0.8, s * 0.2), s * 0.18, s * 0.18);
    }
}

// The monochrome ("symbolic") variant for panels that recolour their icons: one colour on transparency.
void symbolicIcon(QPainter& p, double s, bool alert)
{
    p.setPen(pen(Qt::black, s * 0.08));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(s * 0.1, s * 0.1, s * 0.8, s * 0.8), s * 0.16, s * 0.16);
    capsMark(p, s * 0.25, s * 0.22, s * 0.5, Qt::black, s * 0.07);
    if (alert) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawEllipse(QPointF(s * 0.8, s * 0.2), s * 0.18, s * 0.18);
    }
}

void switchIcon(QPainter& p, double s)
{
    const QRectF track(s * 0.1, s * 0.3, s * 0.8, s * 0.4);
    p.setPen(Qt::NoPen);
    p.setBrush(kOk);
    p.drawRoundedRect(track, s * 0.2, s * 0.2);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(s * 0.7, s * 0.5), s * 0.15, s * 0.15);
}

void hotkeyIcon(QPainter& p, double s)
{
    keyCap(p, QRectF(s * 0.06, s * 0.22, s * 0.5, s * 0.5), QColor(0xf2, 0xf3, 0xf5), kInk);
    keyCap(p, QRectF(s * 0.44, s * 0.34, s * 0.5, s * 0.5), kAccent, kAccent.darker(150));
    p.setPen(pen(kInk, s * 0.05));
    capsMark(p, s * 0.16, s * 0.28, s * 0.3, kInk, s * 0.04);
    QFont f;
    f.setPixelSize(int(s * 0.3));
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(s * 0.44, s * 0.34, s * 0.5, s * 0.46), Qt::AlignCenter, "J");
}

void gearIcon(QPainter& p, double s)
{
    const QPointF c(s / 2, s / 2);
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const double a0 = (i - 0.5) * M_PI / teeth, a1 = (i + 0.5) * M_PI / teeth;
        const double r = (i % 2 == 0) ? s * 0.46 : s * 0.36;
        const QPointF p0 = c + QPointF(std::cos(a0) * r, std::sin(a0) * r);
        const QPointF p1 = c + QPointF(std::cos(a1) * r, std::sin(a1) * r);
        if (i == 0)
            gear.moveTo(p0);
        else
            gear.lineTo(p0);
        gear.lineTo(p1);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(c, s * 0.15, s * 0.15);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawPath(gear.subtracted(hole));
}

void labIcon(QPainter& p, double s)
{
    QPainterPath flask;
    flask.moveTo(s * 0.38, s * 0.1);
    flask.lineTo(s * 0.38, s * 0.4);
    flask.lineTo(s * 0.14, s * 0.86);
    flask.lineTo(s * 0.86, s * 0.86);
    flask.lineTo(s * 0.62, s * 0.4);
    flask.lineTo(s * 0.62, s * 0.1);
    QPainterPath liquid;
    liquid.moveTo(s * 0.25, s * 0.64);
    liquid.lineTo(s * 0.75, s * 0.64);
    liquid.lineTo(s * 0.86, s * 0.86);
    liquid.lineTo(s * 0.14, s * 0.86);
    liquid.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x8e, 0x5c, 0xd9));
    p.drawPath(liquid);
    p.setPen(pen(kInk, s * 0.06));
    p.setBrush(Qt::NoBrush);
    p.drawPath(flask);
    p.drawLine(QPointF(s * 0.3, s * 0.1), QPointF(s * 0.7, s * 0.1));
}

void noteIcon(QPainter& p, double s)
{
    p.setPen(pen(kInk, s * 0.05));
    p.setBrush(QColor(0xff, 0xe0, 0x82));
    QPainterPath sheet;
    sheet.moveTo(s * 0.16, s * 0.1);
    sheet.lineTo(s * 0.64, s * 0.1);
    sheet.lineTo(s * 0.84, s * 0.3);
    sheet.lineTo(s * 0.84, s * 0.9);
    sheet.lineTo(s * 0.16, s * 0.9);
    sheet.closeSubpath();
    p.drawPath(sheet);
    for (double y : {0.42, 0.56, 0.70}) p.drawLine(QPointF(s * 0.28, s * y), QPointF(s * 0.72, s * y));
}

void quietIcon(QPainter& p, double s)
{
    QPainterPath speaker;
    speaker.moveTo(s * 0.1, s * 0.38);
    speaker.lineTo(s * 0.28, s * 0.38);
    speaker.lineTo(s * 0.5, s * 0.18);
    speaker.lineTo(s * 0.5, s * 0.82);
    speaker.lineTo(s * 0.28, s * 0.62);
    speaker.lineTo(s * 0.1, s * 0.62);
    speaker.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawPath(speaker);
    p.setPen(pen(kAlert, s * 0.07));
    p.drawLine(QPointF(s * 0.62, s * 0.38), QPointF(s * 0.86, s * 0.62));
    p.drawLine(QPointF(s * 0.86, s * 0.38), QPointF(s * 0.62, s * 0.62));
}

void transparentIcon(QPainter& p, double s)
{
    const double cell = s * 0.8 / 4;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            p.setPen(Qt::NoPen);
            p.setBrush((r + c) % 2 ? QColor(0xcf, 0xd3, 0xd8) : QColor(0xf4, 0xf5, 0xf7));
            p.drawRect(QRectF(s * 0.1 + c * cell, s * 0.1 + r * cell, cell, cell));
        }
    p.setPen(pen(kInk, s * 0.05));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(s * 0.1, s * 0.1, s * 0.8, s * 0.8), s * 0.06, s * 0.06);
}

void warningIcon(QPainter& p, double s)
{
    QPainterPath tri;
    tri.moveTo(s * 0.5, s * 0.08);
    tri.lineTo(s * 0.94, s * 0.88);
    tri.lineTo(s * 0.06, s * 0.88);
    tri.closeSubpath();
    p.setPen(pen(kWarn, s * 0.06));
    p.setBrush(kWarn);
    p.drawPath(tri);
    p.setPen(pen(Qt::white, s * 0.1));
    p.drawLine(QPointF(s * 0.5, s * 0.36), QPointF(s * 0.5, s * 0.6));
    p.drawPoint(QPointF(s * 0.5, s * 0.75));
}

void checkIcon(QPainter& p, double s)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kOk);
    p.drawEllipse(QPointF(s / 2, s / 2), s * 0.44, s * 0.44);
    p.setPen(pen(Qt::white, s * 0.1));
    QPainterPath tick;
    tick.moveTo(s * 0.28, s * 0.52);
    tick.lineTo(s * 0.44, s * 0.68);
    tick.lineTo(s * 0.73, s * 0.36);
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
}

void removeIcon(QPainter& p, double s)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kAlert);
    p.drawEllipse(QPointF(s / 2, s / 2), s * 0.44, s * 0.44);
    p.setPen(pen(Qt::white, s * 0.1));
    p.drawLine(QPointF(s * 0.33, s * 0.33), QPointF(s * 0.67, s * 0.67));
    p.drawLine(QPointF(s * 0.67, s * 0.33), QPointF(s * 0.33, s * 0.67));
}

void attachIcon(QPainter& p, double s)
{
    p.setPen(pen(kInk, s * 0.07));
    p.setBrush(Qt::NoBrush);
    QPainterPath clip;
    clip.moveTo(s * 0.66, s * 0.3);
    clip.lineTo(s * 0.66, s * 0.72);
    clip.arcTo(QRectF(s * 0.34, s * 0.56, s * 0.32, s * 0.32), 0, -180);
    clip.lineTo(s * 0.34, s * 0.22);
    clip.arcTo(QRectF(s * 0.34, s * 0.06, s * 0.22, s * 0.22), 180, -180);
    clip.lineTo(s * 0.56, s * 0.66);
    p.drawPath(clip);
}

void infoIcon(QPainter& p, double s)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawEllipse(QPointF(s / 2, s / 2), s * 0.44, s * 0.44);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(s * 0.5, s * 0.28), s * 0.065, s * 0.065);
    p.drawRoundedRect(QRectF(s * 0.44, s * 0.42, s * 0.12, s * 0.36), s * 0.04, s * 0.04);
}

void lockIcon(QPainter& p, double s, bool closed)
{
    p.setPen(pen(kInk, s * 0.09));
    p.setBrush(Qt::NoBrush);
    QPainterPath shackle;
    const double right = closed ? s * 0.7 : s * 0.9;
    const double left = closed ? s * 0.3 : s * 0.5;
    shackle.moveTo(left, s * 0.46);
    shackle.lineTo(left, s * 0.3);
    shackle.arcTo(QRectF(left, s * 0.1, right - left, s * 0.4), 180, -180);
    shackle.lineTo(right, closed ? s * 0.46 : s * 0.34);
    p.drawPath(shackle);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    const double x = closed ? s * 0.18 : s * 0.06;
    p.drawRoundedRect(QRectF(x, s * 0.44, s * 0.64, s * 0.48), s * 0.08, s * 0.08);
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    bool ok = true;
    ok &= save(folder, "SimpleLogo", 64, 64, simpleLogo);
    ok &= save(folder, "VandrelLogo", 256, 256, vandrelLogo);
    ok &= save(folder, "MenubarIcon", 22, 22, [](QPainter& p, double s) { trayIcon(p, s, false); });
    ok &= save(folder, "MenubarIcon-alert", 22, 22, [](QPainter& p, double s) { trayIcon(p, s, true); });
    ok &= save(folder, "Switch-1", 64, 64, switchIcon);
    ok &= save(folder, "Hotkey", 64, 64, hotkeyIcon);
    ok &= save(folder, "settings-gear-64", 64, 64, gearIcon);
    ok &= save(folder, "lab", 64, 64, labIcon);
    ok &= save(folder, "Note", 64, 64, noteIcon);
    ok &= save(folder, "quiet", 64, 64, quietIcon);
    ok &= save(folder, "transparent", 64, 64, transparentIcon);
    ok &= save(folder, "c-warning", 32, 32, warningIcon);
    ok &= save(folder, "c-check", 32, 32, checkIcon);
    ok &= save(folder, "c-remove", 32, 32, removeIcon);
    ok &= save(folder, "Attach", 32, 32, attachIcon);
    ok &= save(folder, "Info", 32, 32, infoIcon);
    ok &= save(folder, "Lock-open", 32, 32, [](QPainter& p, double s) { lockIcon(p, s, false); });
    ok &= save(folder, "Lock-close", 32, 32, [](QPainter& p, double s) { lockIcon(p, s, true); });
    if (argc > 2) {
        const QString icons = QString::fromLocal8Bit(argv[2]) + "/hicolor/";
        for (const int n : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QString apps = icons + QString("%1x%1/apps").arg(n);
            QDir().mkpath(apps);
            ok &= save(apps, "vandrel", n, n, vandrelLogo);
            if (n > 48) continue;
            // The tray's themed icons (system_tray_status_item.h), and the launcher's symbolic one.
            ok &= save(apps, "vandrel-symbolic", n, n, [](QPainter& p, double s) { symbolicIcon(p, s, false); });
            for (const bool alert : {false, true}) {
                const QString name = alert ? "vandrel-tray-alert" : "vandrel-tray";
                ok &= save(apps, name, n, n, [alert](QPainter& p, double s) { trayIcon(p, s, alert); });
                ok &=
                    save(apps, name + "-symbolic", n, n, [alert](QPainter& p, double s) { symbolicIcon(p, s, alert); });
            }
        }
    }
    return ok ? 0 : 1;
}
