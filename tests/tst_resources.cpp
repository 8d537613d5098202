// SPDX-License-Identifier: MIT
// The compiled-in images, the icons the window takes from them, and the Windows executable icon.
#include "qvmaskcalcwindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QResource>
#include <QtEndian>
#include <QtTest>

namespace {

const QByteArray pngSignature("\x89PNG\r\n\x1a\n", 8);

// Icons come back as premultiplied pixmaps; comparing in that format loses nothing.
QImage premultiplied(const QImage &image)
{
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

int le16(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 le32(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

quint32 be32(const QByteArray &bytes, int at)
{
    return qFromBigEndian<quint32>(bytes.constData() + at);
}

} // namespace

class tst_Resources : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void imageList();
    void images_data();
    void images();
    void pngHeader_data();
    void pngHeader();
    void servedAsCommitted_data();
    void servedAsCommitted();

    void windowIcon();
    void actionIcons_data();
    void actionIcons();

    void windowsIconLayout();
    void windowsIconIsTheEmblem();
};

void tst_Resources::cleanup()
{
    // The window writes its label file beside the test executable; this test's folder is its own.
    QDir dir(QCoreApplication::applicationDirPath());
    for (const QString &name : dir.entryList({ QStringLiteral("*.ini") }, QDir::Files))
        dir.remove(name);
}

void tst_Resources::imageList()
{
    // Nothing is registered under a misspelt or extra name: the form asks for exactly these.
    QStringList names = QDir(QStringLiteral(":/images")).entryList();
    names.sort();
    QCOMPARE(names,
             QStringList({ "CC_connect.png", "CC_disconect.png", "CC_exit.png", "Tav_icon.png" }));
}

void tst_Resources::images_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("side");
    QTest::addColumn<bool>("storedCompressed");

    // The emblem is a stored (uncompressed) PNG, so the resource compiler zips it; the action
    // images are compressed PNGs that it keeps as they are.
    QTest::newRow("emblem") << ":/images/Tav_icon.png" << 64 << true;
    QTest::newRow("Check All tick") << ":/images/CC_connect.png" << 128 << false;
    QTest::newRow("Uncheck All cross") << ":/images/CC_disconect.png" << 128 << false;
    QTest::newRow("Quit power symbol") << ":/images/CC_exit.png" << 128 << false;
}

void tst_Resources::images()
{
    QFETCH(QString, path);
    QFETCH(int, side);

    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("png"));
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), QSize(side, side));
    QVERIFY(image.hasAlphaChannel());

    // The motif covers the middle and leaves the corners clear.
    const int last = side - 1;
    QCOMPARE(qAlpha(image.pixel(side / 2, side / 2)), 255);
    for (const QPoint corner :
         { QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last) })
        QCOMPARE(qAlpha(image.pixel(corner)), 0);
}

void tst_Resources::pngHeader_data()
{
    images_data();
}

void tst_Resources::pngHeader()
{
    QFETCH(QString, path);
    QFETCH(int, side);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray head = file.read(8 + 8 + 13);
    QCOMPARE(head.size(), 8 + 8 + 13);

    QCOMPARE(head.left(8), pngSignature);
    QCOMPARE(be32(head, 8), 13u);
    QCOMPARE(head.mid(12, 4), QByteArray("IHDR"));
    QCOMPARE(be32(head, 16), quint32(side));
    QCOMPARE(be32(head, 20), quint32(side));
    QCOMPARE(int(head.at(24)), 8); // bits per channel
    QCOMPARE(int(head.at(25)), 6); // RGB with alpha
    QCOMPARE(int(head.at(26)), 0); // deflate
    QCOMPARE(int(head.at(27)), 0); // adaptive filtering
    QCOMPARE(int(head.at(28)), 0); // not interlaced
}

void tst_Resources::servedAsCommitted_data()
{
    images_data();
}

void tst_Resources::servedAsCommitted()
{
    QFETCH(QString, path);
    QFETCH(bool, storedCompressed);

    const QResource resource(path);
    QVERIFY(resource.isValid());
    QCOMPARE(resource.compressionAlgorithm(),
             storedCompressed ? QResource::Compression::ZlibCompression
                              : QResource::Compression::NoCompression);

    // Whatever the storage, reading gives the PNG file itself, not the zlib stream.
    QFile served(path);
    QVERIFY(served.open(QIODevice::ReadOnly));
    const QByteArray bytes = served.readAll();
    QVERIFY(bytes.startsWith(pngSignature));
    QCOMPARE(bytes.size(), resource.uncompressedSize());

    QFile committed(QStringLiteral(RESOURCE_SOURCE_DIR "/") + QFileInfo(path).fileName());
    QVERIFY2(committed.open(QIODevice::ReadOnly), qPrintable(committed.fileName()));
    QVERIFY(bytes == committed.readAll());
}

void tst_Resources::windowIcon()
{
    const QvMaskCalcWindow window;
    const QIcon icon = window.windowIcon();
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.availableSizes(), QList<QSize>({ QSize(64, 64) }));
    QCOMPARE(premultiplied(icon.pixmap(QSize(64, 64)).toImage()),
             premultiplied(QImage(QStringLiteral(":/images/Tav_icon.png"))));
}

void tst_Resources::actionIcons_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("path");

    QTest::newRow("Check All") << "actionCheck_All"
                               << ":/images/CC_connect.png";
    QTest::newRow("Uncheck All") << "actionUncheck_All"
                                 << ":/images/CC_disconect.png";
    QTest::newRow("Quit") << "action_Quit"
                          << ":/images/CC_exit.png";
}

void tst_Resources::actionIcons()
{
    QFETCH(QString, action);
    QFETCH(QString, path);

    const QvMaskCalcWindow window;
    const auto *act = window.findChild<QAction *>(action);
    QVERIFY(act);
    const QIcon icon = act->icon();
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.availableSizes(), QList<QSize>({ QSize(128, 128) }));
    // Each action shows its own picture, not another action's.
    QCOMPARE(premultiplied(icon.pixmap(QSize(128, 128)).toImage()), premultiplied(QImage(path)));
}

namespace {

constexpr int iconSide = 64;
constexpr int iconDirSize = 6 + 16;
constexpr int bitmapHeaderSize = 40;
constexpr int pixelBytes = iconSide * iconSide * 3;
constexpr int maskBytes = iconSide * iconSide / 8;
constexpr int iconImageSize = bitmapHeaderSize + pixelBytes + maskBytes;

QByteArray readWindowsIcon()
{
    QFile file(QStringLiteral(WINDOWS_ICON_FILE));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

void tst_Resources::windowsIconLayout()
{
    const QByteArray ico = readWindowsIcon();
    QCOMPARE(ico.size(), iconDirSize + iconImageSize);
    QCOMPARE(iconImageSize, 12840);

    // The directory: one icon image.
    QCOMPARE(le16(ico, 0), 0);
    QCOMPARE(le16(ico, 2), 1);
    QCOMPARE(le16(ico, 4), 1);

    // Its entry: 64 x 64, true colour without a palette, one plane, 24 bits per pixel.
    QCOMPARE(quint8(ico.at(6)), quint8(iconSide));
    QCOMPARE(quint8(ico.at(7)), quint8(iconSide));
    QCOMPARE(quint8(ico.at(8)), quint8(0));
    QCOMPARE(quint8(ico.at(9)), quint8(0));
    QCOMPARE(le16(ico, 10), 1);
    QCOMPARE(le16(ico, 12), 24);
    QCOMPARE(le32(ico, 14), quint32(iconImageSize));
    QCOMPARE(le32(ico, 18), quint32(iconDirSize));

    // The image's bitmap header: height doubled for the pixels plus the mask, uncompressed.
    const int bmp = iconDirSize;
    QCOMPARE(le32(ico, bmp), quint32(bitmapHeaderSize));
    QCOMPARE(le32(ico, bmp + 4), quint32(iconSide));
    QCOMPARE(le32(ico, bmp + 8), quint32(2 * iconSide));
    QCOMPARE(le16(ico, bmp + 12), 1);
    QCOMPARE(le16(ico, bmp + 14), 24);
    QCOMPARE(le32(ico, bmp + 16), 0u);
    QCOMPARE(le32(ico, bmp + 32), 0u); // no palette
}

void tst_Resources::windowsIconIsTheEmblem()
{
    const QByteArray ico = readWindowsIcon();
    QCOMPARE(ico.size(), iconDirSize + iconImageSize);
    const QImage emblem =
            QImage(QStringLiteral(":/images/Tav_icon.png")).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(emblem.size(), QSize(iconSide, iconSide));

    // Rows run bottom up; a set mask bit lets the desktop show through, and the pixel under it is
    // black so that nothing is drawn there.
    const char *pixels = ico.constData() + iconDirSize + bitmapHeaderSize;
    const auto *mask = reinterpret_cast<const uchar *>(pixels + pixelBytes);
    int shown = 0;
    for (int y = 0; y < iconSide; ++y) {
        const int row = iconSide - 1 - y;
        for (int x = 0; x < iconSide; ++x) {
            const QRgb want = emblem.pixel(x, y);
            const bool transparent = mask[row * iconSide / 8 + x / 8] & (0x80 >> (x % 8));
            const char *bgr = pixels + (qsizetype(row) * iconSide + x) * 3;
            const QRgb got = qRgb(uchar(bgr[2]), uchar(bgr[1]), uchar(bgr[0]));
            const QByteArray where = QByteArray::number(x) + ',' + QByteArray::number(y);
            QVERIFY2(transparent == (qAlpha(want) < 128), where.constData());
            QVERIFY2(got
                             == (transparent ? qRgb(0, 0, 0)
                                             : qRgb(qRed(want), qGreen(want), qBlue(want))),
                     where.constData());
            shown += !transparent;
        }
    }
    // The emblem fills most of the square, and its corners are masked.
    QVERIFY(shown > iconSide * iconSide / 2);
    QVERIFY(mask[0] & 0x80);
}

QTEST_MAIN(tst_Resources)
#include "tst_resources.moc"
