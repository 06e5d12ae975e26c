// render_svg: the build-time generator of the interface pictures. It reads one
// SVG source, fills in the theme's colour names (and any --set values), renders
// it at its own size with QtSvg and writes a PNG or JPEG the program can draw
// without blending:
//
//   render_svg [--theme FILE] [--states a,b,...] [--set name=value]...
//              [--matte #RRGGBB] [--mono] [--quality Q] SOURCE.svg OUTPUT
//
// With --states the source is rendered once per state and every "%s" in OUTPUT
// is replaced by the state name (button images: n, p, r, d). Names are written
// "@name@" in the source; an unknown name is an error, so a typing slip in a
// source fails the build instead of drawing black.
//
// The program's canvas knows only two alpha levels (a pixel is transparent or
// opaque), so every picture is settled here: with --matte the picture is laid
// over that colour and comes out opaque (buttons sit on panels of a known
// colour, so their antialiased edges blend into it); without it, pixels at
// least half covered become opaque in their own colour and the rest
// transparent. --mono renders without antialiasing into pure black, pure white
// and transparent, the only colours an image cursor keeps.
#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using Values = std::map<QString, QString>;

// The theme file: "name value" lines give every state's values; a "[state]"
// line starts values that only that state sees. "#" starts a comment line.
struct Theme {
    Values common;
    std::map<QString, Values> states;
};

// Largest theme or source file read; the sources are a few kilobytes.
constexpr qint64 kMaxSourceBytes = 1 << 20;
// Largest picture rendered, in pixels along either side.
constexpr int kMaxSide = 4096;

// Keeps the build log quiet about the missing per-user runtime folder of a
// build machine; every other Qt message goes through.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (message.startsWith("QStandardPaths:")) return;
    std::fprintf(stderr, "render_svg: %s\n", message.toLocal8Bit().constData());
    if (type == QtFatalMsg) std::abort();
}

void fail(const QString& message) {
    std::fprintf(stderr, "render_svg: %s\n", message.toLocal8Bit().constData());
    std::exit(1);
}

QByteArray readWhole(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) fail("cannot read " + path);
    if (file.size() > kMaxSourceBytes) fail(path + " is too large");
    return file.readAll();
}

Theme readTheme(const QString& path) {
    Theme theme;
    Values* current = &theme.common;
    const QStringList lines = QString::fromUtf8(readWhole(path)).split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        if (line.startsWith('[') && line.endsWith(']')) {
            current = &theme.states[line.mid(1, line.size() - 2).trimmed()];
            continue;
        }
        const qsizetype space = line.indexOf(QRegularExpression("\\s"));
        if (space < 0) fail(QString("%1:%2: a name without a value").arg(path).arg(i + 1));
        (*current)[line.left(space)] = line.mid(space).trimmed();
    }
    return theme;
}

// Replaces every "@name@" by its value.
QByteArray fillIn(const QByteArray& source, const Values& values, const QString& sourcePath) {
    static const QRegularExpression name("@([A-Za-z0-9_]+)@");
    QString text = QString::fromUtf8(source);
    QString out;
    qsizetype from = 0;
    auto it = name.globalMatch(text);
    while (it.hasNext()) {
        const auto match = it.next();
        const auto value = values.find(match.captured(1));
        if (value == values.end()) fail(sourcePath + ": unknown name @" + match.captured(1) + "@");
        out += text.mid(from, match.capturedStart() - from);
        out += value->second;
        from = match.capturedEnd();
    }
    out += text.mid(from);
    return out.toUtf8();
}

struct Options {
    QString themePath;
    QStringList states;
    Values sets;
    std::optional<QColor> matte;
    bool mono = false;
    int quality = 90;
    QString source;
    QString output;
};

Options parseArguments(const QStringList& args) {
    Options o;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto next = [&]() -> QString {
            if (i + 1 >= args.size()) fail(a + " needs a value");
            return args[++i];
        };
        if (a == "--theme") {
            o.themePath = next();
        } else if (a == "--states") {
            o.states = next().split(',', Qt::SkipEmptyParts);
        } else if (a == "--set") {
            const QString pair = next();
            const qsizetype eq = pair.indexOf('=');
            if (eq <= 0) fail("--set wants name=value, not " + pair);
            o.sets[pair.left(eq)] = pair.mid(eq + 1);
        } else if (a == "--matte") {
            const QColor c = QColor::fromString(next());
            if (!c.isValid()) fail("--matte wants a colour such as #F4F1EA");
            o.matte = c;
        } else if (a == "--mono") {
            o.mono = true;
        } else if (a == "--quality") {
            o.quality = next().toInt();
            if (o.quality < 1 || o.quality > 100) fail("--quality wants 1..100");
        } else if (a.startsWith("--")) {
            fail("unknown option " + a);
        } else if (o.source.isEmpty()) {
            o.source = a;
        } else if (o.output.isEmpty()) {
            o.output = a;
        } else {
            fail("too many arguments");
        }
    }
    if (o.source.isEmpty() || o.output.isEmpty()) {
        fail("usage: render_svg [--theme FILE] [--states a,b] [--set name=value] "
             "[--matte #RRGGBB] [--mono] [--quality Q] SOURCE.svg OUTPUT");
    }
    if (!o.states.isEmpty() && !o.output.contains("%s")) fail("--states needs %s in OUTPUT");
    return o;
}

// Settles every pixel on one of the two alpha levels the program draws.
QImage settleAlpha(const QImage& rendered, const Options& o, bool jpeg) {
    QImage image = rendered.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (o.matte || jpeg) {
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.fill(o.matte.value_or(QColor(Qt::white)));
        QPainter p(&flat);
        p.drawImage(0, 0, image);
        p.end();
        return flat;
    }
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    bool anyClear = false;
    for (int y = 0; y < out.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb px = row[x];
            if (qAlpha(px) < 128) {
                row[x] = 0;
                anyClear = true;
            } else if (o.mono) {
                const int luma = (qRed(px) * 299 + qGreen(px) * 587 + qBlue(px) * 114) / 1000;
                row[x] = luma < 128 ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
            } else {
                row[x] = qRgb(qRed(px), qGreen(px), qBlue(px));
            }
        }
    }
    // A picture without a single clear pixel is stored without alpha, so the
    // program takes the plain (one pass) drawing path for it.
    return anyClear ? out : out.convertToFormat(QImage::Format_RGB32);
}

void renderOne(const QByteArray& svg, const Options& o, const QString& outPath) {
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) fail(o.source + " is not a valid SVG picture");
    const QSize size = renderer.defaultSize();
    if (size.width() < 1 || size.height() < 1 || size.width() > kMaxSide || size.height() > kMaxSide) {
        fail(o.source + ": width and height must be 1.." + QString::number(kMaxSide));
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, !o.mono);
    painter.setRenderHint(QPainter::TextAntialiasing, !o.mono);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, !o.mono);
    renderer.render(&painter);
    painter.end();

    const bool jpeg = outPath.endsWith(".jpg", Qt::CaseInsensitive);
    const QImage settled = settleAlpha(image, o, jpeg);
    const bool saved = jpeg ? settled.save(outPath, "JPG", o.quality) : settled.save(outPath, "PNG");
    if (!saved) fail("cannot write " + outPath);
}

}  // namespace

int main(int argc, char** argv) {
    // Text in the pictures needs the font database, which needs a platform;
    // the offscreen one works on a build machine without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietMessages);
    QGuiApplication app(argc, argv);
    const Options o = parseArguments(app.arguments());

    const Theme theme = o.themePath.isEmpty() ? Theme{} : readTheme(o.themePath);
    const QByteArray source = readWhole(o.source);
    const QStringList states = o.states.isEmpty() ? QStringList{QString()} : o.states;
    for (const QString& state : states) {
        Values values = theme.common;
        if (!state.isEmpty()) {
            const auto found = theme.states.find(state);
            if (found == theme.states.end()) fail("the theme has no state [" + state + "]");
            for (const auto& [k, v] : found->second) values[k] = v;
            values["state"] = state;
        }
        for (const auto& [k, v] : o.sets) values[k] = v;
        QString outPath = o.output;
        outPath.replace("%s", state);
        renderOne(fillIn(source, values, o.source), o, outPath);
    }
    return 0;
}
