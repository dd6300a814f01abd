// The column ruler on its own, beside a text box: its measure, the handle on a column count,
// the column a drag or a double-click chooses, and its scrolling with the box.
#include "platform/fonts.h"
#include "platform/twips.h"
#include "ruler/ruler.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <vector>

namespace kestrova::test {

namespace {

constexpr int kHalfWidthTwips = 90; // 6 pixels of the 9-point face at 96 DPI

// A text box with the ruler above it, as the window stacks them.
struct Host
{
    QWidget window;
    QPlainTextEdit* box = nullptr;
    ruler::ColumnRuler* ruler = nullptr;

    explicit Host(int points = 9)
    {
        window.resize(600, 300);
        box = new QPlainTextEdit(&window);
        box->setLineWrapMode(QPlainTextEdit::NoWrap);
        box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        box->setGeometry(0, 40, 600, 200);
        ruler = new ruler::ColumnRuler(box, &window);
        ruler->setTwipRect({0, 0, 9000, 255});
        ruler->GageInit();
        const QFont font = platform::textFont(QString::fromUtf16(platform::kDesignedFace), points);
        ruler->setScaleFont(font);
        box->setFont(font);
        ruler->hook();
        ruler->GageResize(70);
    }

    void show()
    {
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            qFatal("the ruler was not shown");
    }
};

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

// A mouse event with the button that changed and the buttons held after it, as the window
// system sends them.
void sendMouse(QWidget* widget, QEvent::Type type, int x, Qt::MouseButton button,
               Qt::MouseButtons held)
{
    const QPointF local(x, 3);
    QMouseEvent event(type, local, widget->mapToGlobal(local), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

// The columns the ruler chose, in order.
std::vector<int> chosen(const QSignalSpy& spy)
{
    std::vector<int> columns;
    for (const QList<QVariant>& arguments : spy)
        columns.push_back(arguments.at(0).toInt());
    return columns;
}

} // namespace

class RulerTest : public QObject
{
    Q_OBJECT

private slots:
    void theScaleIsAThousandColumnsWithADigitEveryTenth()
    {
        Host host;
        QCOMPARE(host.ruler->scale()->text(), scale(1000));
        const QFontMetrics metrics(host.ruler->scaleFont(), &host.window);
        QCOMPARE(metrics.horizontalAdvance(scale(1000)), 6000);
        // The handle keeps the window's own font; the scale has the text's.
        QCOMPARE(host.ruler->scale()->font(), host.ruler->scaleFont());
        QVERIFY(host.ruler->handle()->font() != host.ruler->scaleFont());
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
        Host host;
        QCOMPARE(host.ruler->LeftToColumns(x), columns);
    }

    // The search over remembered widths must give what measuring prefix after prefix gives,
    // also in sizes whose half-width advance is not a whole pixel, and after a font change.
    void leftToColumnsAgreesWithMeasuringEveryPrefix()
    {
        Host host;
        const QString text = scale(1000);
        for (int points : {9, 10, 12, 14, 9}) {
            host.ruler->setScaleFont(
                platform::textFont(QString::fromUtf16(platform::kDesignedFace), points));
            const QFontMetrics metrics(host.ruler->scaleFont(), &host.window);
            std::vector<int> widths;
            for (int i = 1; i <= text.size(); ++i)
                widths.push_back(platform::pixelsToTwips(metrics.horizontalAdvance(text.left(i)),
                                                         host.window.logicalDpiX()));
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
                const int found = host.ruler->LeftToColumns(x);
                if (found != expected)
                    QFAIL(qPrintable(QStringLiteral("%1 pt, x %2: %3, measured %4")
                                         .arg(points)
                                         .arg(x)
                                         .arg(found)
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
        Host host;
        host.ruler->GageResize(columns);
        const auto handle = host.ruler->handleRect();
        QCOMPARE(handle.left, handleLeft);
        QCOMPARE(handle.width, handleWidth);
        QCOMPARE(host.ruler->handle()->geometry().left(), handleLeft / 15);
        QCOMPARE(host.ruler->handle()->width(), handleWidth / 15);
        // The strips follow the label, and the outer one adds its border.
        QWidget* label = host.ruler->scale();
        QCOMPARE(handle.height, label->height() * 15);
        QCOMPARE(host.ruler->scrollingRect().width, label->width() * 15);
        QCOMPARE(host.ruler->scrollingRect().width, 90000);
        QCOMPARE(host.ruler->scrollingRect().height, label->height() * 15);
        const int border = 2 * host.ruler->frameWidth();
        QCOMPARE(host.ruler->twipRect().height, (label->height() + border) * 15);
        QCOMPARE(host.ruler->height(), label->height() + border);
    }

    void theRulerScrollsWithTheTextBoxWhileHooked()
    {
        Host host;
        host.show();
        host.box->setPlainText(QString(300, u'x'));
        QWidget* inner = host.ruler->scrollingStrip();
        const int unscrolled = inner->x();
        host.box->horizontalScrollBar()->setValue(40);
        QCOMPARE(host.ruler->scrollingRect().left, -600);
        QCOMPARE(inner->x(), unscrolled - 40);
        // The keyboard scrolls the box too, and the ruler follows its repaint.
        host.box->moveCursor(QTextCursor::End);
        QTest::qWait(50);
        const int value = host.box->horizontalScrollBar()->value();
        QVERIFY(value > 40);
        QCOMPARE(host.ruler->scrollingRect().left, -15 * value);
        host.box->horizontalScrollBar()->setValue(0);
        QCOMPARE(host.ruler->scrollingRect().left, 0);
        QCOMPARE(inner->x(), unscrolled);
        // Unhooked, it stays where it is.
        host.ruler->unhook();
        host.box->horizontalScrollBar()->setValue(30);
        QTest::qWait(50);
        QCOMPARE(host.ruler->scrollingRect().left, 0);
    }

    void droppingTheHandleChoosesTheColumnUnderIt_data()
    {
        QTest::addColumn<int>("distance");
        QTest::addColumn<int>("columns");
        QTest::newRow("ten columns right") << 60 << 80;
        QTest::newRow("a few pixels into a column") << -8 << 68;
        QTest::newRow("beyond the scale's end") << 6000 << 1001;
        QTest::newRow("left of the scale") << -500 << 1;
    }

    void droppingTheHandleChoosesTheColumnUnderIt()
    {
        QFETCH(int, distance);
        QFETCH(int, columns);
        Host host;
        host.show();
        QSignalSpy spy(host.ruler, &ruler::ColumnRuler::columnsChosen);
        QPushButton* handle = host.ruler->handle();
        QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(2, 5));
        QVERIFY(host.ruler->dragging());
        QTest::mouseMove(handle, QPoint(2 + distance / 2, 5));
        // No bounds while the handle is held, and nothing chosen yet.
        QCOMPARE(host.ruler->handleRect().left, 6210 + 15 * (distance / 2));
        QCOMPARE(spy.count(), 0);
        QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(2 + distance - distance / 2, 5));
        QVERIFY(!host.ruler->dragging());
        QCOMPARE(chosen(spy), std::vector<int>{columns});
    }

    void doubleClickingTheScaleChoosesTheColumnUnderIt()
    {
        Host host;
        host.show();
        QSignalSpy spy(host.ruler, &ruler::ColumnRuler::columnsChosen);
        QWidget* label = host.ruler->scale();
        QTest::mouseDClick(label, Qt::LeftButton, {}, QPoint(100, 5));
        QCOMPARE(chosen(spy), std::vector<int>{17}); // 1500 twips: the 17th character
        // The right button's double-click is no double-click on the scale.
        QTest::mouseDClick(label, Qt::RightButton, {}, QPoint(300, 5));
        QCOMPARE(spy.count(), 1);
        // Nor does a right press move the place a later double-click reads.
        QTest::mousePress(label, Qt::LeftButton, {}, QPoint(30, 5));
        QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(30, 5));
        sendMouse(label, QEvent::MouseButtonPress, 300, Qt::RightButton, Qt::RightButton);
        sendMouse(label, QEvent::MouseButtonRelease, 300, Qt::RightButton, Qt::NoButton);
        sendMouse(label, QEvent::MouseButtonDblClick, 30, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(chosen(spy), (std::vector<int>{17, 6}));
    }

    void otherButtonsAndKeysLeaveTheHandleAlone()
    {
        Host host;
        host.show();
        QSignalSpy spy(host.ruler, &ruler::ColumnRuler::columnsChosen);
        QPushButton* handle = host.ruler->handle();
        const int before = host.ruler->handleRect().left;

        // The right button alone.
        sendMouse(handle, QEvent::MouseButtonPress, 2, Qt::RightButton, Qt::RightButton);
        QVERIFY(!host.ruler->dragging());
        sendMouse(handle, QEvent::MouseMove, 62, Qt::NoButton, Qt::RightButton);
        sendMouse(handle, QEvent::MouseButtonRelease, 62, Qt::RightButton, Qt::NoButton);
        QCOMPARE(host.ruler->handleRect().left, before);

        // The left button pressed while the right one is held starts no drag.
        sendMouse(handle, QEvent::MouseButtonPress, 2, Qt::RightButton, Qt::RightButton);
        sendMouse(handle, QEvent::MouseButtonPress, 2, Qt::LeftButton,
                  Qt::LeftButton | Qt::RightButton);
        QVERIFY(!host.ruler->dragging());
        sendMouse(handle, QEvent::MouseMove, 62, Qt::NoButton, Qt::LeftButton | Qt::RightButton);
        sendMouse(handle, QEvent::MouseButtonRelease, 62, Qt::LeftButton, Qt::RightButton);
        sendMouse(handle, QEvent::MouseButtonRelease, 62, Qt::RightButton, Qt::NoButton);
        QCOMPARE(host.ruler->handleRect().left, before);
        QCOMPARE(spy.count(), 0);

        // Both buttons held: moves do nothing, and letting go of the left one while the right
        // is still down leaves the drag open.
        sendMouse(handle, QEvent::MouseButtonPress, 2, Qt::LeftButton, Qt::LeftButton);
        QVERIFY(host.ruler->dragging());
        sendMouse(handle, QEvent::MouseButtonPress, 2, Qt::RightButton,
                  Qt::LeftButton | Qt::RightButton);
        sendMouse(handle, QEvent::MouseMove, 62, Qt::NoButton, Qt::LeftButton | Qt::RightButton);
        QCOMPARE(host.ruler->handleRect().left, before);
        sendMouse(handle, QEvent::MouseButtonRelease, 62, Qt::LeftButton, Qt::RightButton);
        QVERIFY(host.ruler->dragging());
        sendMouse(handle, QEvent::MouseButtonRelease, 62, Qt::RightButton, Qt::NoButton);
        QVERIFY(host.ruler->dragging());
        QCOMPARE(spy.count(), 0);
        // … until the next left release, which drops the handle.
        sendMouse(handle, QEvent::MouseButtonRelease, 32, Qt::LeftButton, Qt::NoButton);
        QVERIFY(!host.ruler->dragging());
        QCOMPARE(chosen(spy), std::vector<int>{75});

        // Keys move nothing.
        host.ruler->GageResize(75);
        const int now = host.ruler->handleRect().left;
        for (Qt::Key key : {Qt::Key_Right, Qt::Key_Left, Qt::Key_Space, Qt::Key_End})
            QTest::keyClick(handle, key);
        QCOMPARE(host.ruler->handleRect().left, now);
        QCOMPARE(spy.count(), 1);
    }
};

} // namespace kestrova::test

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    kestrova::test::RulerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ruler_test.moc"
