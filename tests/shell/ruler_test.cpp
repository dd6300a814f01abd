// The column ruler: its measure, the handle on Columns, dragging and double-clicking it, and
// its scrolling and lining up with the text box.
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

// A mouse event with the button that changed and the buttons held after it, as the window
// system sends them.
void sendMouse(QWidget* widget, QEvent::Type type, int x, Qt::MouseButton button,
               Qt::MouseButtons held)
{
    const QPointF local(x, 3);
    QMouseEvent event(type, local, widget->mapToGlobal(local), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
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
        QCOMPARE(metrics.horizontalAdvance(scale(1000)), 6000);
        // The label and the text box measure alike; the buttons keep the window's own font.
        QCOMPARE(ShellTestAccess::lblGage(*w)->font(), font);
        QCOMPARE(ShellTestAccess::txtData(*w)->font(), font);
        QVERIFY(ShellTestAccess::cmdUpdate(*w)->font() != font);
    }

    void leftToColumnsCountsTheCharacterUnderThePosition_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("columns");
        QTest::newRow("left of the scale") << -600 << 1;
        QTest::newRow("just left of the scale") << -1 << 1;
        QTest::newRow("the first character's left edge") << 0 << 1;
        QTest::newRow("the first character's last twip") << 89 << 1;
        QTest::newRow("the second character's left edge") << 90 << 2;
        QTest::newRow("the 71st character") << 6300 << 71;
        QTest::newRow("the last character") << 89999 << 1000;
        QTest::newRow("the scale's end") << 90000 << 1001;
        QTest::newRow("far beyond the scale") << 500000 << 1001;
    }

    void leftToColumnsCountsTheCharacterUnderThePosition()
    {
        QFETCH(int, x);
        QFETCH(int, columns);
        Sandbox sandbox;
        auto w = startWindow(sandbox);
        QCOMPARE(w->LeftToColumns(x), columns);
    }

    // The search over remembered widths must give what measuring prefix after prefix gives,
    // also in sizes whose half-width advance is not a whole pixel, and after a font change.
    void leftToColumnsAgreesWithMeasuringEveryPrefix()
    {
        Sandbox sandbox;
        auto w = startWindow(sandbox);
        const QString text = scale(1000);
        for (int points : {9, 10, 12, 14, 9}) {
            ShellTestAccess::record(*w).FontSize = points;
            w->FontSet();
            const QFontMetrics metrics(ShellTestAccess::windowFont(*w), w.get());
            std::vector<int> widths;
            for (int i = 1; i <= text.size(); ++i)
                widths.push_back(platform::pixelsToTwips(metrics.horizontalAdvance(text.left(i)),
                                                         w->logicalDpiX()));
            std::vector<int> positions{-1, 0};
            for (int width : widths)
                positions.insert(positions.end(), {width - 1, width, width + 1});
            for (int x : positions) {
                int expected = static_cast<int>(text.size()) + 1;
                for (std::size_t i = 0; i < widths.size(); ++i) {
                    if (widths[i] > x) {
                        expected = static_cast<int>(i) + 1;
                        break;
                    }
                }
                if (w->LeftToColumns(x) != expected)
                    QFAIL(qPrintable(QStringLiteral("%1 pt, x %2: %3, measured %4")
                                         .arg(points)
                                         .arg(x)
                                         .arg(w->LeftToColumns(x))
                                         .arg(expected)));
            }
        }
    }

    void theHandleCoversTheColumnsthCharacter_data()
    {
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("handleLeft");
        QTest::addColumn<int>("handleWidth");
        QTest::newRow("70") << 70 << 6210 << kHalfWidthTwips;
        QTest::newRow("1") << 1 << 0 << kHalfWidthTwips;
        QTest::newRow("the last scale character") << 1000 << 89910 << kHalfWidthTwips;
        QTest::newRow("beyond the scale") << 1001 << 90000 << 0;
        QTest::newRow("far beyond the scale") << 32767 << 90000 << 0;
        QTest::newRow("0 is shown as 1") << 0 << 0 << kHalfWidthTwips;
        QTest::newRow("negative is shown as 1") << -5 << 0 << kHalfWidthTwips;
    }

    void theHandleCoversTheColumnsthCharacter()
    {
        QFETCH(int, columns);
        QFETCH(int, handleLeft);
        QFETCH(int, handleWidth);
        Sandbox sandbox;
        auto w = startWindow(sandbox);
        ShellTestAccess::record(*w).Columns = columns;
        w->GageResize();
        const auto handle = ShellTestAccess::cmdGageRect(*w);
        QCOMPARE(handle.left, handleLeft);
        QCOMPARE(handle.width, handleWidth);
        QCOMPARE(ShellTestAccess::cmdGage(*w)->geometry().left(), handleLeft / 15);
        QCOMPARE(ShellTestAccess::cmdGage(*w)->width(), handleWidth / 15);
        QCOMPARE(ShellTestAccess::record(*w).Columns, columns); // shown as 1, kept as it was
        // The strips follow the label, and the outer one adds its border.
        QWidget* label = ShellTestAccess::lblGage(*w);
        QCOMPARE(handle.height, label->height() * 15);
        QCOMPARE(ShellTestAccess::picGageScrlRect(*w).width, label->width() * 15);
        QCOMPARE(ShellTestAccess::picGageScrlRect(*w).width, 90000);
        QCOMPARE(ShellTestAccess::picGageScrlRect(*w).height, label->height() * 15);
        const int border = 2 * ShellTestAccess::picGage(*w)->frameWidth();
        QCOMPARE(ShellTestAccess::picGageRect(*w).height, (label->height() + border) * 15);
    }

    void theRulerScrollsWithTheTextBox()
    {
        Sandbox sandbox;
        auto w = shownWindow(sandbox);
        QPlainTextEdit* box = ShellTestAccess::txtData(*w);
        box->setPlainText(QString(300, u'x'));
        QWidget* inner = ShellTestAccess::picGageScrl(*w);
        const int unscrolled = inner->x();
        box->horizontalScrollBar()->setValue(40);
        QCOMPARE(ShellTestAccess::picGageScrlRect(*w).left, -600);
        QCOMPARE(inner->x(), unscrolled - 40);
        // The keyboard scrolls the box too, and the ruler follows its repaint.
        box->moveCursor(QTextCursor::End);
        QTest::qWait(50);
        const int value = box->horizontalScrollBar()->value();
        QVERIFY(value > 40);
        QCOMPARE(ShellTestAccess::picGageScrlRect(*w).left, -15 * value);
        box->horizontalScrollBar()->setValue(0);
        QCOMPARE(ShellTestAccess::picGageScrlRect(*w).left, 0);
        QCOMPARE(inner->x(), unscrolled);
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
        QWidget* label = ShellTestAccess::lblGage(*w);
        QTest::mouseDClick(label, Qt::LeftButton, {}, QPoint(100, 5));
        QCOMPARE(ShellTestAccess::record(*w).Columns, 17); // 1500 twips: the 17th character
        QCOMPARE(ShellTestAccess::cmdGageRect(*w).left, 16 * kHalfWidthTwips);
        // The right button's double-click is no double-click on the scale.
        QTest::mouseDClick(label, Qt::RightButton, {}, QPoint(300, 5));
        QCOMPARE(ShellTestAccess::record(*w).Columns, 17);
        // Nor does a right press move the place a later double-click reads.
        QTest::mousePress(label, Qt::LeftButton, {}, QPoint(30, 5));
        QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(30, 5));
        sendMouse(label, QEvent::MouseButtonPress, 300, Qt::RightButton, Qt::RightButton);
        sendMouse(label, QEvent::MouseButtonRelease, 300, Qt::RightButton, Qt::NoButton);
        sendMouse(label, QEvent::MouseButtonDblClick, 30, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(ShellTestAccess::record(*w).Columns, 6);
    }

    void otherButtonsAndKeysLeaveTheHandleAlone()
    {
        Sandbox sandbox;
        auto w = shownWindow(sandbox);
        QPushButton* handle = ShellTestAccess::cmdGage(*w);
        const int before = ShellTestAccess::cmdGageRect(*w).left;

        // The right button alone.
        sendMouse(handle, QEvent::MouseButtonPress, 2, Qt::RightButton, Qt::RightButton);
        QVERIFY(!ShellTestAccess::GageDragging(*w));
        sendMouse(handle, QEvent::MouseMove, 62, Qt::NoButton, Qt::RightButton);
        sendMouse(handle, QEvent::MouseButtonRelease, 62, Qt::RightButton, Qt::NoButton);
        QCOMPARE(ShellTestAccess::cmdGageRect(*w).left, before);
        QCOMPARE(ShellTestAccess::record(*w).Columns, 70);

        // The left button pressed while the right one is held starts no drag.
        sendMouse(handle, QEvent::MouseButtonPress, 2, Qt::RightButton, Qt::RightButton);
        sendMouse(handle, QEvent::MouseButtonPress, 2, Qt::LeftButton,
                  Qt::LeftButton | Qt::RightButton);
        QVERIFY(!ShellTestAccess::GageDragging(*w));
        sendMouse(handle, QEvent::MouseMove, 62, Qt::NoButton, Qt::LeftButton | Qt::RightButton);
        sendMouse(handle, QEvent::MouseButtonRelease, 62, Qt::LeftButton, Qt::RightButton);
        sendMouse(handle, QEvent::MouseButtonRelease, 62, Qt::RightButton, Qt::NoButton);
        QCOMPARE(ShellTestAccess::cmdGageRect(*w).left, before);
        QCOMPARE(ShellTestAccess::record(*w).Columns, 70);

        // Both buttons held: moves do nothing, and letting go of the left one while the right
        // is still down leaves the drag open.
        sendMouse(handle, QEvent::MouseButtonPress, 2, Qt::LeftButton, Qt::LeftButton);
        QVERIFY(ShellTestAccess::GageDragging(*w));
        sendMouse(handle, QEvent::MouseButtonPress, 2, Qt::RightButton,
                  Qt::LeftButton | Qt::RightButton);
        sendMouse(handle, QEvent::MouseMove, 62, Qt::NoButton, Qt::LeftButton | Qt::RightButton);
        QCOMPARE(ShellTestAccess::cmdGageRect(*w).left, before);
        sendMouse(handle, QEvent::MouseButtonRelease, 62, Qt::LeftButton, Qt::RightButton);
        QVERIFY(ShellTestAccess::GageDragging(*w));
        QCOMPARE(ShellTestAccess::record(*w).Columns, 70);
        sendMouse(handle, QEvent::MouseButtonRelease, 62, Qt::RightButton, Qt::NoButton);
        QVERIFY(ShellTestAccess::GageDragging(*w));
        // … until the next left release, which drops the handle.
        sendMouse(handle, QEvent::MouseButtonRelease, 32, Qt::LeftButton, Qt::NoButton);
        QVERIFY(!ShellTestAccess::GageDragging(*w));
        QCOMPARE(ShellTestAccess::record(*w).Columns, 75);

        // Keys move nothing.
        const int now = ShellTestAccess::cmdGageRect(*w).left;
        for (Qt::Key key : {Qt::Key_Right, Qt::Key_Left, Qt::Key_Space, Qt::Key_End})
            QTest::keyClick(handle, key);
        QCOMPARE(ShellTestAccess::cmdGageRect(*w).left, now);
        QCOMPARE(ShellTestAccess::record(*w).Columns, 75);
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
