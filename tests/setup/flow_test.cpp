// Page 1 "文揃え": the column count, the quote marks, joining, the note and the line-break rules.
#include "setup_support.h"

#include "platform/qtext.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace kestrova::test {

namespace {

void retype(QWidget& dialog, const QString& box, const QString& text)
{
    auto* edit = control<QLineEdit>(dialog, box);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
    QCOMPARE(edit->text(), text);
}

} // namespace

class FlowPageTest : public QObject
{
    Q_OBJECT

private slots:
    void theColumnCountIsStoredWithItsRules_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("stored");
        QTest::newRow("40") << QStringLiteral("40") << 40;
        QTest::newRow("0 becomes 1") << QStringLiteral("0") << 1;
        QTest::newRow("-5 becomes 1") << QStringLiteral("-5") << 1;
        QTest::newRow("1") << QStringLiteral("1") << 1;
        QTest::newRow("blanks around 12") << QStringLiteral(" 12 ") << 12;
        QTest::newRow("12.6 rounds to 13") << QStringLiteral("12.6") << 13;
        QTest::newRow("32767, the largest") << QStringLiteral("32767") << 32767;
        QTest::newRow("abc keeps the old count") << QStringLiteral("abc") << 64;
        QTest::newRow("empty keeps the old count") << QString() << 64;
        QTest::newRow("32768 keeps the old count") << QStringLiteral("32768") << 64;
        QTest::newRow("-40000 keeps the old count") << QStringLiteral("-40000") << 64;
    }
    void theColumnCountIsStoredWithItsRules()
    {
        QFETCH(QString, typed);
        QFETCH(int, stored);
        settings::Settings record;
        record.Columns = 64;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        QCOMPARE(control<QLineEdit>(*open->dialog, QStringLiteral("txtColumns"))->text(),
                 QStringLiteral("64"));
        retype(*open->dialog, QStringLiteral("txtColumns"), typed);
        confirm(*open->dialog);
        QCOMPARE(record.Columns, stored);
    }

    void theQuoteMarksLoseTheBlanksAroundThem_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("spaces") << QStringLiteral("  ＞> ") << QStringLiteral("＞>");
        QTest::newRow("a tab and a full-width space")
            << QStringLiteral("\t＞|　") << QStringLiteral("＞|");
        QTest::newRow("a blank inside stays") << QStringLiteral(" > ｜ ") << QStringLiteral("> ｜");
        QTest::newRow("blanks alone leave nothing") << QStringLiteral("   ") << QString();
    }
    void theQuoteMarksLoseTheBlanksAroundThem()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        settings::Settings record;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        QCOMPARE(control<QLineEdit>(*open->dialog, QStringLiteral("txtInyoWords"))->text(),
                 QStringLiteral("≫＞>》〉｜|"));
        control<QLineEdit>(*open->dialog, QStringLiteral("txtInyoWords"))->setText(typed);
        confirm(*open->dialog);
        QCOMPARE(platform::toQString(record.Inyofu), stored);
    }

    void theNoteIsStoredAsTyped()
    {
        settings::Settings record;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        QCOMPARE(control<QLineEdit>(*open->dialog, QStringLiteral("txtEnterMes"))->text(),
                 QStringLiteral("（改行位置を変更しました）"));
        control<QLineEdit>(*open->dialog, QStringLiteral("txtEnterMes"))
            ->setText(QStringLiteral("  （整形） "));
        confirm(*open->dialog);
        QVERIFY(record.EnterMes == u"  （整形） ");
    }

    void joiningIsShownFromAlwaysToNever_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("chosen");
        QTest::newRow("2 opens on する, 0 chosen") << 2 << 0;
        QTest::newRow("1 opens on 引用だけ, 2 chosen") << 1 << 2;
        QTest::newRow("0 opens on しない, 1 chosen") << 0 << 1;
    }
    void joiningIsShownFromAlwaysToNever()
    {
        QFETCH(int, stored);
        QFETCH(int, chosen);
        settings::Settings record;
        record.ChgMode = stored;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        control<QPushButton>(*open->dialog, QStringLiteral("optPage(1)"))->click();
        QRadioButton* buttons[3];
        for (int i = 0; i < 3; ++i)
            buttons[i] =
                control<QRadioButton>(*open->dialog, QStringLiteral("optChgMode(%1)").arg(i));
        QCOMPARE(buttons[0]->text(), QStringLiteral("しない"));
        QCOMPARE(buttons[1]->text(), QStringLiteral("引用だけ"));
        QCOMPARE(buttons[2]->text(), QStringLiteral("する"));
        QVERIFY(buttons[2]->x() < buttons[1]->x());
        QVERIFY(buttons[1]->x() < buttons[0]->x());
        for (int i = 0; i < 3; ++i)
            QCOMPARE(buttons[i]->isChecked(), i == stored);
        buttons[chosen]->click();
        confirm(*open->dialog);
        QCOMPARE(record.ChgMode, chosen);
    }

    void theLineBreakRulesFollowTheirBox_data()
    {
        QTest::addColumn<int>("stored");
        QTest::newRow("off, ticked") << 0;
        QTest::newRow("on, cleared") << 1;
    }
    void theLineBreakRulesFollowTheirBox()
    {
        QFETCH(int, stored);
        settings::Settings record;
        record.Kinsoku = stored;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        control<QPushButton>(*open->dialog, QStringLiteral("optPage(1)"))->click();
        auto* box = control<QCheckBox>(*open->dialog, QStringLiteral("chkKinsoku"));
        QCOMPARE(box->isChecked(), stored == 1);
        box->click();
        confirm(*open->dialog);
        QCOMPARE(record.Kinsoku, 1 - stored);
    }
};

std::unique_ptr<QObject> makeFlowPageTest() { return std::make_unique<FlowPageTest>(); }

} // namespace kestrova::test

#include "flow_test.moc"
