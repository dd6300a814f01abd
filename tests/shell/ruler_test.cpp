// The column ruler in the window: the face it measures in, Columns set by the handle and the
// scale, and the scale lined up with the text in the window's layout.
#include "shell_support.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#include <cmath>
#include <vector>

namespace kestrova::test {

using shell::ShellTestAccess;

namespace {

constexpr int kHalfWidthTwips = 90; // 6 pixels of the 9-point face at 96 DPI

QString scale(int length)
{
    QString text;
    for (int k = 1; k <= length; ++k) {
        if (k % 10 == 0)
            text += QChar(u'0' + (k / 10) % 10);
        else
            text += k % 5 == 0 ? QChar(u'+') : QChar(u'-');
    }
    return text;
}

std::unique_ptr<shell::dorUrerUvuroze> shownWindow(const Sandbox& sandbox, int points = 9)
{
    if (points != 9)
        Sandbox::writeFile(sandbox.iniPath(),
                           "[Settings]\r\nFontSize=" + QByteArray::number(points) + "\r\n");
    auto w = startWindow(sandbox);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        qFatal("the window was not shown");
    return w;
}

int left(QWidget* widget, QWidget* window) { return widget->mapTo(window, QPoint(0, 0)).x(); }

// The left edge of the character at a 0-based position of a block, in window pixels.
int characterLeft(QPlainTextEdit* box, int block, int position, QWidget* window)
{
    QTextCursor cursor(box->document()->findBlockByNumber(block));
    cursor.setPosition(cursor.block().position() + position);
    const QRect rect = box->cursorRect(cursor);
    return box->viewport()->mapTo(window, rect.topLeft()).x();
}

} // namespace

class RulerTest : public QObject
{
    Q_OBJECT

private slots:
    void theDefaultFaceIsIpaGothicWithWholePixelColumns()
    {
        Sandbox sandbox;
        auto w = startWindow(sandbox);
        QCOMPARE(w->logicalDpiX(), 96);
        const QFont font = ShellTestAccess::windowFont(*w);
        QCOMPARE(QFontInfo(font).family(), QStringLiteral("IPAGothic"));
        QCOMPARE(font.pointSize(), 9);
        QVERIFY(!font.bold() && !font.italic());
        const QFontMetrics metrics(font, w.get());
        QCOMPARE(metrics.horizontalAdvance(QStringLiteral("a")), 6);
        QCOMPARE(metrics.horizontalAdvance(QStringLiteral("あ")), 12);
        // The label and the text box measure alike; the buttons keep the window's own font.
        QCOMPARE(ShellTestAccess::lblGage(*w)->font(), font);
        QCOMPARE(ShellTestAccess::txtData(*w)->font(), font);
        QVERIFY(ShellTestAccess::cmdUpdate(*w)->font() != font);
    }

    void draggingTheHandleSetsColumns_data()
    {
        QTest::addColumn<int>("distance");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("handleLeft");
        QTest::addColumn<int>("handleWidth");
        QTest::newRow("ten columns right") << 60 << 80 << 7110 << kHalfWidthTwips;
        QTest::newRow("a few pixels into a column") << -8 << 68 << 6030 << kHalfWidthTwips;
        QTest::newRow("beyond the scale's end") << 6000 << 1001 << 90000 << 0;
        QTest::newRow("left of the scale") << -500 << 1 << 0 << kHalfWidthTwips;
    }

    void draggingTheHandleSetsColumns()
    {
        QFETCH(int, distance);
        QFETCH(int, columns);
        QFETCH(int, handleLeft);
        QFETCH(int, handleWidth);
        Sandbox sandbox;
        auto w = shownWindow(sandbox);
        QPushButton* handle = ShellTestAccess::cmdGage(*w);
        QCOMPARE(ShellTestAccess::record(*w).Columns, 70);
        QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(2, 5));
        QVERIFY(ShellTestAccess::GageDragging(*w));
        QTest::mouseMove(handle, QPoint(2 + distance / 2, 5));
        // No bounds while the handle is held.
        QCOMPARE(ShellTestAccess::cmdGageRect(*w).left, 6210 + 15 * (distance / 2));
        QCOMPARE(ShellTestAccess::record(*w).Columns, 70);
        QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(2 + distance - distance / 2, 5));
        QVERIFY(!ShellTestAccess::GageDragging(*w));
        QCOMPARE(ShellTestAccess::record(*w).Columns, columns);
        QCOMPARE(ShellTestAccess::cmdGageRect(*w).left, handleLeft);
        QCOMPARE(ShellTestAccess::cmdGageRect(*w).width, handleWidth);
        QCOMPARE(handle->x(), handleLeft / 15);
    }

    void doubleClickingTheScaleSetsColumns()
    {
        Sandbox sandbox;
        auto w = shownWindow(sandbox);
        QTest::mouseDClick(ShellTestAccess::lblGage(*w), Qt::LeftButton, {}, QPoint(100, 5));
        QCOMPARE(ShellTestAccess::record(*w).Columns, 17); // 1500 twips: the 17th character
        QCOMPARE(ShellTestAccess::cmdGageRect(*w).left, 16 * kHalfWidthTwips);
    }

    // The picture: the handle stands over column Columns of the text, a half-width line and
    // a full-width one, and a copy of the scale typed into the text leaves the same ink as
    // the scale, pixel column by pixel column.
    void theRulerLinesUpWithTheText_data()
    {
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("scrolled");
        QTest::newRow("9 points") << 9 << 0;
        QTest::newRow("9 points, scrolled") << 9 << 100;
        QTest::newRow("12 points") << 12 << 0;
        QTest::newRow("12 points, scrolled") << 12 << 100;
    }

    void theRulerLinesUpWithTheText()
    {
        QFETCH(int, points);
        QFETCH(int, scrolled);
        Sandbox sandbox;
        auto w = shownWindow(sandbox, points);
        w->resize(900, 300);
        QPlainTextEdit* box = ShellTestAccess::txtData(*w);
        QString digits;
        for (int i = 0; i < 30; ++i)
            digits += QStringLiteral("1234567890");
        box->setPlainText(scale(300) + u'\n' + digits + u'\n' + QString(150, u'あ') + u'\n');
        box->moveCursor(QTextCursor::End); // its cursor stays off the lines looked at
        box->horizontalScrollBar()->setValue(scrolled);
        QCOMPARE(box->horizontalScrollBar()->value(), scrolled);
        QTest::qWait(50);

        QPushButton* handle = ShellTestAccess::cmdGage(*w);
        QLabel* label = ShellTestAccess::lblGage(*w);
        const int handleLeft = left(handle, w.get());
        const int handleRight = handleLeft + handle->width();
        QVERIFY(handle->width() > 0);
        QCOMPARE(characterLeft(box, 0, 0, w.get()), left(label, w.get()));
        QCOMPARE(characterLeft(box, 1, 69, w.get()), handleLeft);
        QCOMPARE(characterLeft(box, 1, 70, w.get()), handleRight);
        QCOMPARE(characterLeft(box, 2, 35, w.get()), handleRight); // columns 69 and 70

        const QImage picture = w->grab().toImage();
        const int scaleTop = label->mapTo(w.get(), QPoint(0, 0)).y();
        const QRect lineRect = box->cursorRect(QTextCursor(box->document()->firstBlock()));
        const int textTop = box->viewport()->mapTo(w.get(), lineRect.topLeft()).y();
        const int bandHeight = std::min(label->height(), lineRect.height());
        const int from = box->viewport()->mapTo(w.get(), QPoint(0, 0)).x();
        const int to = from + box->viewport()->width();
        // How much of a pixel column of a band is ink: 0 for none, 1 for black on the band's
        // background (the label's and the text box's differ).
        const auto coverage = [&](int top) {
            int background = 0;
            for (int y = top; y < top + bandHeight; ++y) {
                for (int x = from; x < to; ++x)
                    background = std::max(background, qGray(picture.pixel(x, y)));
            }
            std::vector<double> columns;
            for (int x = from; x < to; ++x) {
                int darkest = background;
                for (int y = top; y < top + bandHeight; ++y)
                    darkest = std::min(darkest, qGray(picture.pixel(x, y)));
                columns.push_back(double(background - darkest) / background);
            }
            return columns;
        };
        const std::vector<double> scaleInk = coverage(scaleTop);
        const std::vector<double> textInk = coverage(textTop);
        int inked = 0;
        for (int x = from; x < to; ++x) {
            if (x >= handleLeft - 1 && x <= handleRight)
                continue; // the handle hides the scale there
            const auto i = static_cast<std::size_t>(x - from);
            if (std::abs(scaleInk[i] - textInk[i]) > 0.1)
                QFAIL(qPrintable(QStringLiteral("pixel column %1: scale %2, text %3")
                                     .arg(x)
                                     .arg(scaleInk[i])
                                     .arg(textInk[i])));
            inked += textInk[i] > 0.5 ? 1 : 0;
        }
        QVERIFY(inked > 100);
    }
};

std::unique_ptr<QObject> makeRulerTest() { return std::make_unique<RulerTest>(); }

} // namespace kestrova::test

#include "ruler_test.moc"
