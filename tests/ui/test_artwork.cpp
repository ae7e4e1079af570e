// The banner and icon that ship inside the program, the libjpeg decoder that
// shows the banner, and the desktop entry that installs with them.

#include "core/product.h"
#include "ui/jpegimage.h"

#include <QBuffer>
#include <QFile>
#include <QIcon>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QStandardPaths>
#include <QtEndian>
#include <QtTest>

#include <cstdlib>
#include <optional>

namespace {

QByteArray readResource(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QString sourcePath(const QString& relative)
{
    return QString::fromLocal8Bit(qgetenv("ZEPH_SOURCE_DIR")) + u'/' + relative;
}

struct Frame {
    quint8 marker;
    int width;
    int height;
    int components;
    qsizetype offset; // of the marker's 0xFF
};

// The first SOFn segment of a JPEG, found by walking the marker segments.
std::optional<Frame> firstFrame(const QByteArray& jpeg)
{
    if (!jpeg.startsWith("\xFF\xD8"))
        return std::nullopt;
    qsizetype i = 2;
    while (i + 10 <= jpeg.size() && quint8(jpeg[i]) == 0xFF) {
        const quint8 marker = quint8(jpeg[i + 1]);
        const auto* p = reinterpret_cast<const uchar*>(jpeg.constData() + i);
        const int length = qFromBigEndian<quint16>(p + 2);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return Frame{marker, qFromBigEndian<quint16>(p + 7), qFromBigEndian<quint16>(p + 5),
                         p[9], i};
        i += 2 + length;
    }
    return std::nullopt;
}

QByteArray encodeWithQt(const QImage& image, bool progressive)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(95);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
        return {};
    return out;
}

int maxChannelDifference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB888);
    const QImage y = b.convertToFormat(QImage::Format_RGB888);
    int worst = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar* p = x.constScanLine(row);
        const uchar* q = y.constScanLine(row);
        for (int i = 0; i < x.width() * 3; ++i)
            worst = std::max(worst, std::abs(int(p[i]) - int(q[i])));
    }
    return worst;
}

} // namespace

class TestArtwork : public QObject {
    Q_OBJECT

private slots:
    void bannerIsABaselineJpeg();
    void bannerDecodesToRgb();
    void decodesGreyAndProgressive();
    void damagedInputGivesNullImage_data();
    void damagedInputGivesNullImage();
    void refusesHugeDimensionsBeforeAllocating();
    void iconIsOne32x32SixteenColourImage();
    void iconLoadsThroughQtAndMatchesThePng();
    void desktopEntryMatchesTheInstalledNames();
};

void TestArtwork::bannerIsABaselineJpeg()
{
    const QByteArray jpeg = readResource(QStringLiteral(":/banner.jpg"));
    QVERIFY2(!jpeg.isEmpty(), "banner.jpg is not among the resources");
    QVERIFY2(jpeg.size() > 1000 && jpeg.size() < 16 * 1024, QByteArray::number(jpeg.size()));
    const auto frame = firstFrame(jpeg);
    QVERIFY(frame.has_value());
    QCOMPARE(frame->marker, quint8(0xC0)); // baseline, not progressive
    QCOMPARE(frame->width, 124);
    QCOMPARE(frame->height, 65);
    QCOMPARE(frame->components, 3);
}

void TestArtwork::bannerDecodesToRgb()
{
    const QByteArray jpeg = readResource(QStringLiteral(":/banner.jpg"));
    const QImage image = zeph::decodeJpeg(jpeg);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), QSize(124, 65));
    QCOMPARE(image.format(), QImage::Format_RGB888);

    // Left edge is the dark blue of the gradient: blue well above red. This
    // catches swapped channels.
    const QColor edge = image.pixelColor(1, 48);
    QVERIFY2(edge.blue() > edge.red() + 40, qPrintable(edge.name()));
    // Inside the speech bubble: white.
    const QColor bubble = image.pixelColor(8, 10);
    QVERIFY2(bubble.red() > 230 && bubble.green() > 230 && bubble.blue() > 230,
             qPrintable(bubble.name()));

    // Qt's own decoder (same codec family) must see the same picture.
    const QImage reference = QImage::fromData(jpeg, "JPG");
    if (reference.isNull())
        QSKIP("Qt's JPEG plug-in is not installed");
    QCOMPARE(reference.size(), image.size());
    QVERIFY(maxChannelDifference(image, reference) <= 6);
}

void TestArtwork::decodesGreyAndProgressive()
{
    QImage source(40, 24, QImage::Format_RGB888);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.setPixelColor(x, y, QColor(x * 6, y * 10, 200 - x * 4));

    const QByteArray progressive = encodeWithQt(source, true);
    const QByteArray grey = encodeWithQt(source.convertToFormat(QImage::Format_Grayscale8), false);
    if (progressive.isEmpty() || grey.isEmpty())
        QSKIP("Qt's JPEG plug-in is not installed");
    const auto progressiveFrame = firstFrame(progressive);
    const auto greyFrame = firstFrame(grey);
    QVERIFY(progressiveFrame && greyFrame);
    QCOMPARE(progressiveFrame->marker, quint8(0xC2));
    QCOMPARE(greyFrame->components, 1);

    const QImage p = zeph::decodeJpeg(progressive);
    QCOMPARE(p.size(), source.size());
    QVERIFY(maxChannelDifference(p, source) <= 40);

    const QImage g = zeph::decodeJpeg(grey);
    QCOMPARE(g.size(), source.size());
    QCOMPARE(g.format(), QImage::Format_RGB888);
    for (int y = 0; y < g.height(); y += 5) {
        for (int x = 0; x < g.width(); x += 5) {
            const QColor c = g.pixelColor(x, y);
            QVERIFY(c.red() == c.green() && c.green() == c.blue());
        }
    }
}

void TestArtwork::damagedInputGivesNullImage_data()
{
    const QByteArray banner = readResource(QStringLiteral(":/banner.jpg"));
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one byte") << QByteArray("\xFF", 1);
    QTest::newRow("SOI only") << QByteArray("\xFF\xD8", 2);
    QTest::newRow("text") << QByteArray("this is not a picture at all");
    QTest::newRow("PNG signature") << QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);
    QTest::newRow("header only") << banner.left(200);
    QTest::newRow("half") << banner.left(banner.size() / 2);
    QTest::newRow("no end marker") << banner.left(banner.size() - 2);

    QByteArray noise(4096, Qt::Uninitialized);
    QRandomGenerator rng(1234);
    for (char& c : noise)
        c = char(rng.bounded(256));
    QTest::newRow("noise") << noise;
    QTest::newRow("SOI then noise") << QByteArray("\xFF\xD8", 2) + noise;

    QByteArray zeroSize = banner;
    if (const auto frame = firstFrame(banner)) {
        zeroSize[frame->offset + 5] = 0; // height 0
        zeroSize[frame->offset + 6] = 0;
    }
    QTest::newRow("zero height") << zeroSize;

    QByteArray cmyk = banner; // claims four components with three component specs
    if (const auto frame = firstFrame(banner))
        cmyk[frame->offset + 9] = 4;
    QTest::newRow("component count lie") << cmyk;
}

void TestArtwork::damagedInputGivesNullImage()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(zeph::decodeJpeg(bytes).isNull());
}

void TestArtwork::refusesHugeDimensionsBeforeAllocating()
{
    // A real header that claims 60000 x 60000 (10 GB of RGB): decoding it would
    // allocate and fill all of that before noticing the data runs out.
    QByteArray jpeg = readResource(QStringLiteral(":/banner.jpg"));
    const auto frame = firstFrame(jpeg);
    QVERIFY(frame.has_value());
    auto* p = reinterpret_cast<uchar*>(jpeg.data() + frame->offset);
    qToBigEndian<quint16>(60000, p + 5);
    qToBigEndian<quint16>(60000, p + 7);
    const auto patched = firstFrame(jpeg);
    QVERIFY(patched.has_value());
    QCOMPARE(patched->width, 60000);
    QVERIFY(zeph::decodeJpeg(jpeg).isNull());
}

void TestArtwork::iconIsOne32x32SixteenColourImage()
{
    const QByteArray ico = readResource(QStringLiteral(":/zeph.ico"));
    QCOMPARE(ico.size(), 766); // 6 + 16 + 40 + 16*4 palette + 32*32/2 pixels + 32*4 mask
    const auto* p = reinterpret_cast<const uchar*>(ico.constData());
    QCOMPARE(qFromLittleEndian<quint16>(p + 2), quint16(1)); // icon, not cursor
    QCOMPARE(qFromLittleEndian<quint16>(p + 4), quint16(1)); // one image
    QCOMPARE(int(p[6]), 32);
    QCOMPARE(int(p[7]), 32);
    QCOMPARE(int(p[8]), 16); // colours
    const quint32 offset = qFromLittleEndian<quint32>(p + 18);
    QCOMPARE(offset, 22u);
    QCOMPARE(qFromLittleEndian<quint32>(p + 14), quint32(ico.size()) - offset);
    const uchar* dib = p + offset;
    QCOMPARE(qFromLittleEndian<qint32>(dib + 4), 32);
    QCOMPARE(qFromLittleEndian<qint32>(dib + 8), 64);   // XOR image + AND mask
    QCOMPARE(qFromLittleEndian<quint16>(dib + 14), 4);  // bits per pixel
    QCOMPARE(qFromLittleEndian<quint32>(dib + 16), 0u); // uncompressed
}

void TestArtwork::iconLoadsThroughQtAndMatchesThePng()
{
    QImageReader reader(QStringLiteral(":/zeph.ico"));
    QCOMPARE(reader.format(), QByteArray("ico"));
    const QImage fromIco = reader.read();
    QVERIFY2(!fromIco.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(fromIco.size(), QSize(32, 32));
    QVERIFY(fromIco.hasAlphaChannel());
    QCOMPARE(qAlpha(fromIco.pixel(0, 0)), 0);     // outside the bubble: transparent
    QCOMPARE(qAlpha(fromIco.pixel(16, 13)), 255); // the middle dot

    const QIcon icon(QStringLiteral(":/zeph.ico"));
    QVERIFY(!icon.isNull());
    QVERIFY(icon.availableSizes().contains(QSize(32, 32)));

    const QImage png(sourcePath(QStringLiteral("packaging/zeph.png")));
    QVERIFY2(!png.isNull(), "packaging/zeph.png missing or unreadable");
    QCOMPARE(png.size(), fromIco.size());
    QSet<QRgb> colours;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const QRgb a = fromIco.pixel(x, y);
            const QRgb b = png.pixel(x, y);
            QCOMPARE(qAlpha(a), qAlpha(b));
            if (qAlpha(a) != 0) {
                QCOMPARE(a, b);
                colours.insert(a);
            }
        }
    }
    QVERIFY(colours.size() > 3 && colours.size() <= 16);
}

void TestArtwork::desktopEntryMatchesTheInstalledNames()
{
    const QString path = sourcePath(QStringLiteral("packaging/zeph.desktop"));
    QVERIFY(QFile::exists(path));
    QSettings entry(path, QSettings::IniFormat);
    entry.beginGroup(QStringLiteral("Desktop Entry"));
    const QString appId = zeph::product::kAppId.toString();
    QCOMPARE(entry.value(QStringLiteral("Exec")).toString(), appId);
    QCOMPARE(entry.value(QStringLiteral("Icon")).toString(), appId);

    QFile raw(path);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(raw.readAll()).contains(u"Name[zh_CN]=局域网即时通信\n"));

    const QString validator =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty())
        QSKIP("desktop-file-validate is not installed (desktop-file-utils)");
    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(validator, {path});
    QVERIFY(run.waitForFinished(30000));
    const QByteArray complaints = run.readAll();
    QVERIFY2(run.exitCode() == 0 && complaints.trimmed().isEmpty(), complaints.constData());
}

QTEST_MAIN(TestArtwork)
#include "test_artwork.moc"
