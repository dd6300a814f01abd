// The window's layout: the stack of ruler, text box and strips at every size and font.
#include "shell_support.h"

#include "platform/fonts.h"

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QTest>

namespace kestrova::test {

using platform::TwipRect;
using shell::ShellTestAccess;

namespace {

// 15 twips to the pixel at 96 DPI.
constexpr int kDesignedWidthPx = 473;  // 7095 twips
constexpr int kDesignedHeightPx = 258; // 3870 twips

// The ruler's height at 9 points: the face's line height and a border of one pixel each side,
// as the installed font reports it.
int gage9()
{
    const QFontMetrics metrics(platform::textFont(QString::fromUtf16(platform::kDesignedFace), 9));
    return (metrics.height() + 2) * 15;
}

std::unique_ptr<shell::dorUrerUvuroze> shownWindow(const Sandbox& sandbox,
                                                   const QByteArray& settings = {})
{
    if (!settings.isEmpty())
        Sandbox::writeFile(sandbox.iniPath(), "[Settings]\r\n" + settings);
    auto w = startWindow(sandbox);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        qFatal("the window was not shown");
    w->resize(kDesignedWidthPx, kDesignedHeightPx);
    return w;
}

struct Stack
{
    TwipRect gage, text, tray, pgp;
};

Stack stack(const shell::dorUrerUvuroze& w)
{
    return {ShellTestAccess::picGageRect(w), ShellTestAccess::txtDataRect(w),
            ShellTestAccess::picCmdTrayRect(w), ShellTestAccess::picPgpTrayRect(w)};
}

bool operator==(const Stack& a, const Stack& b)
{
    return a.gage == b.gage && a.text == b.text && a.tray == b.tray && a.pgp == b.pgp;
}

} // namespace

class LayoutTest : public QObject
{
    Q_OBJECT

private slots:
    void theStackFillsTheWindow_data()
    {
        QTest::addColumn<int>("pgpFlg");
        QTest::addColumn<int>("textHeight");
        QTest::addColumn<int>("trayTop");
        QTest::addColumn<int>("pgpTop");
        QTest::newRow("PGP strip off") << 0 << 3870 - gage9() - 495 << 3375 << 3240;
        QTest::newRow("PGP strip on") << 1 << 3870 - gage9() - 495 - 435 << 2940 << 3435;
    }

    void theStackFillsTheWindow()
    {
        QFETCH(int, pgpFlg);
        QFETCH(int, textHeight);
        QFETCH(int, trayTop);
        QFETCH(int, pgpTop);
        Sandbox sandbox;
        auto w = shownWindow(sandbox, "PgpFlg=" + QByteArray::number(pgpFlg) + "\r\n");
        const Stack s = stack(*w);
        QCOMPARE(s.gage, (TwipRect{0, 0, 7095, gage9()}));
        QCOMPARE(s.text, (TwipRect{0, gage9(), 7095, textHeight}));
        QCOMPARE(s.tray, (TwipRect{0, trayTop, 6975, 495}));
        QCOMPARE(s.pgp, (TwipRect{0, pgpTop, 6975, 435})); // left where it was when it is off
        QCOMPARE(ShellTestAccess::txtData(*w)->geometry(),
                 QRect(0, gage9() / 15, kDesignedWidthPx, textHeight / 15));
        QCOMPARE(ShellTestAccess::picCmdTray(*w)->geometry(), QRect(0, trayTop / 15, 465, 33));
        QCOMPARE(ShellTestAccess::picGage(*w)->geometry(),
                 QRect(0, 0, kDesignedWidthPx, gage9() / 15));
    }

    void onlyAWindowWiderThanTheStripsWidensRulerAndText()
    {
        Sandbox sandbox;
        auto w = shownWindow(sandbox);
        w->resize(600, kDesignedHeightPx);
        QCOMPARE(stack(*w).gage.width, 9000);
        QCOMPARE(stack(*w).text.width, 9000);
        QCOMPARE(stack(*w).tray.width, 6975);
        QCOMPARE(ShellTestAccess::txtData(*w)->width(), 600);
        QCOMPARE(ShellTestAccess::picCmdTray(*w)->width(), 465);

        // Narrower than the strips: the widths stay, the height still follows.
        w->resize(400, 300);
        QCOMPARE(stack(*w).gage.width, 9000);
        QCOMPARE(stack(*w).text.width, 9000);
        QCOMPARE(stack(*w).text.height, 4500 - gage9() - 495);
        QCOMPARE(ShellTestAccess::txtData(*w)->width(), 600);
    }

    void aWindowLowerThanTheThreeStripsKeepsItsLayout_data()
    {
        QTest::addColumn<int>("pgpFlg");
        QTest::addColumn<int>("heightPx");
        QTest::addColumn<bool>("laidOut");
        QTest::addColumn<int>("textHeight");
        // The ruler, 495 and 435 twips: the hidden PGP strip counts too.
        const int strips = gage9() + 495 + 435;
        const int enough = strips / 15;
        QTest::newRow("off, one pixel too low") << 0 << enough - 1 << false << 0;
        QTest::newRow("off, just high enough") << 0 << enough << true << strips - gage9() - 495;
        QTest::newRow("on, one pixel too low") << 1 << enough - 1 << false << 0;
        QTest::newRow("on, just high enough") << 1 << enough << true << 0;
    }

    void aWindowLowerThanTheThreeStripsKeepsItsLayout()
    {
        QFETCH(int, pgpFlg);
        QFETCH(int, heightPx);
        QFETCH(bool, laidOut);
        QFETCH(int, textHeight);
        Sandbox sandbox;
        auto w = shownWindow(sandbox, "PgpFlg=" + QByteArray::number(pgpFlg) + "\r\n");
        const Stack before = stack(*w);
        const QRect boxBefore = ShellTestAccess::txtData(*w)->geometry();
        w->resize(kDesignedWidthPx, heightPx);
        QCOMPARE(w->height(), heightPx);
        if (!laidOut) {
            QVERIFY(stack(*w) == before);
            QCOMPARE(ShellTestAccess::txtData(*w)->geometry(), boxBefore);
            return;
        }
        QCOMPARE(stack(*w).text.height, textHeight);
        QCOMPARE(stack(*w).tray.top, gage9() + textHeight);
        if (pgpFlg != 0)
            QCOMPARE(stack(*w).pgp.top, gage9() + textHeight + 495);
    }

    void aTwelvePointFontMovesTheTextBoxDown()
    {
        Sandbox sandbox;
        auto w = shownWindow(sandbox, "FontSize=12\r\n");
        QWidget* label = ShellTestAccess::lblGage(*w);
        QCOMPARE(label->font().pointSize(), 12);
        const int gage = (label->height() + 2) * 15;
        QVERIFY(gage > gage9());
        QCOMPARE(stack(*w).gage.height, gage);
        QCOMPARE(stack(*w).text.top, gage);
        QCOMPARE(stack(*w).text.height, 3870 - gage - 495);
        // The handle stays on column 70, now 8 pixels a column.
        QCOMPARE(ShellTestAccess::cmdGageRect(*w), (TwipRect{69 * 120, 0, 120, gage - 30}));

        // Back to 9 points through the settings' steps: all of it follows at once.
        ShellTestAccess::record(*w).FontSize = 9;
        w->FontSet();
        w->PGP_View();
        ShellTestAccess::Form_Resize(*w);
        QCOMPARE(stack(*w).text.top, gage9());
        QCOMPARE(ShellTestAccess::cmdGageRect(*w), (TwipRect{69 * 90, 0, 90, gage9() - 30}));
    }

    void switchingThePgpStripOffGrowsTheTextBoxAtOnce()
    {
        Sandbox sandbox;
        auto w = shownWindow(sandbox, "PgpFlg=1\r\n");
        const int height = stack(*w).text.height;
        ShellTestAccess::record(*w).PgpFlg = 0;
        w->FontSet();
        w->PGP_View();
        ShellTestAccess::Form_Resize(*w);
        QCOMPARE(stack(*w).text.height, height + 435);
        QVERIFY(!ShellTestAccess::picPgpTray(*w)->isVisible());
    }

    void minimisingAndRestoringLaysTheWindowOut()
    {
        Sandbox sandbox;
        auto w = shownWindow(sandbox);
        const Stack normal = stack(*w);
        // Changed behind the window's back: only a fresh layout can show it.
        ShellTestAccess::record(*w).PgpFlg = 1;
        w->showMinimized();
        QCOMPARE(stack(*w).text.height, normal.text.height - 435);
        ShellTestAccess::record(*w).PgpFlg = 0;
        w->showNormal();
        QCOMPARE(stack(*w).text, normal.text);
        QCOMPARE(stack(*w).tray, normal.tray);
    }
};

std::unique_ptr<QObject> makeLayoutTest() { return std::make_unique<LayoutTest>(); }

} // namespace kestrova::test

#include "layout_test.moc"
