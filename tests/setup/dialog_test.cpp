// The dialog as a whole: its pages in the frame, "戻る", "ｷｬﾝｾﾙ", Esc, the close box, and the
// About box behind "ﾊﾞｰｼﾞｮﾝ情報".
#include "setup_support.h"
#include "spoken_names.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <optional>

namespace kestrova::test {

namespace {

// A record with every setting away from its default, each a value the dialog shows as it is.
settings::Settings everythingSet()
{
    settings::Settings record;
    record.Columns = 64;
    record.Inyofu = u"＞>";
    record.ChgMode = 1;
    record.Kinsoku = 1;
    record.EnterMes = u"（改行）";
    record.FontName = u"IPAGothic";
    record.FontSize = 12;
    record.PgpFlg = 1;
    record.PgpVer = 2;
    record.EncryptMode = 1;
    record.JisConvMode = 0;
    record.ViewMini = 1;
    record.EnvSize = 4096;
    record.PgpPath = u"/home/u/.gnupg";
    record.TimeZone = u"JST-9";
    record.UserID = u"u@example.jp";
    record.PassPhrase = u"open sesame";
    record.ConvMode = 0;
    record.UserList[0] = u"a@example.jp";
    return record;
}

// Changes a value on every page without confirming.
void editEveryPage(QWidget& dialog)
{
    control<QComboBox>(dialog, QStringLiteral("cboFontSize"))->setEditText(QStringLiteral("20"));
    control<QLineEdit>(dialog, QStringLiteral("txtColumns"))->setText(QStringLiteral("40"));
    control<QLineEdit>(dialog, QStringLiteral("txtInyoWords"))->setText(QStringLiteral("|"));
    control<QRadioButton>(dialog, QStringLiteral("optChgMode(0)"))->setChecked(true);
    control<QCheckBox>(dialog, QStringLiteral("chkKinsoku"))->toggle();
    control<QCheckBox>(dialog, QStringLiteral("chkPGP_Flg"))->toggle();
    control<QRadioButton>(dialog, QStringLiteral("optPgpVer(0)"))->setChecked(true);
    control<QLineEdit>(dialog, QStringLiteral("txtPgpPath"))->setText(QStringLiteral("/x"));
    control<QLineEdit>(dialog, QStringLiteral("txtEnvSize"))->setText(QStringLiteral("1"));
    control<QCheckBox>(dialog, QStringLiteral("chkConvMode"))->toggle();
}

} // namespace

class DialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_environment.emplace(); }
    void cleanup() { m_environment.reset(); }

    void everyControlHasANameAndADescriptionForScreenReaders()
    {
        settings::Settings record;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        int controls = 0;
        const QStringList unnamed = unspokenControls(open->dialog.get(), &controls);
        QVERIFY(controls >= 30);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral("; "))));
    }

    void itOpensOnTheFirstPageWithItsCaptions()
    {
        settings::Settings record;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        QWidget& dialog = *open->dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("動作設定"));
        const char16_t* pages[] = {u"表示", u"文揃え", u"PGP関連", u"その他"};
        for (int i = 0; i < 4; ++i) {
            auto* button = control<QPushButton>(dialog, QStringLiteral("optPage(%1)").arg(i));
            QCOMPARE(button->text(), QString::fromUtf16(pages[i]));
            QCOMPARE(button->isChecked(), i == 0);
        }
        QCOMPARE(control<QPushButton>(dialog, QStringLiteral("cmdCancel"))->text(),
                 QStringLiteral("ｷｬﾝｾﾙ"));
        QCOMPARE(control<QPushButton>(dialog, QStringLiteral("cmdVersion"))->text(),
                 QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
        auto* exit = control<QPushButton>(dialog, QStringLiteral("cmdExit"));
        QCOMPARE(exit->text(), QStringLiteral("戻る"));
        QVERIFY(exit->isDefault());
        QVERIFY(control<QWidget>(dialog, QStringLiteral("picTabPage(0)"))->isVisible());
        auto* frame = control<QFrame>(dialog, QStringLiteral("pageFrame"));
        QCOMPARE(frame->frameShadow(), QFrame::Raised); // drawn as a button's raised face
    }

    void eachPageButtonShowsItsPageAloneInsideTheFrame()
    {
        settings::Settings record;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        QWidget& dialog = *open->dialog;
        auto* frame = control<QFrame>(dialog, QStringLiteral("pageFrame"));
        for (const int page : {2, 1, 3, 0}) {
            QTest::mouseClick(control<QPushButton>(dialog, QStringLiteral("optPage(%1)").arg(page)),
                              Qt::LeftButton);
            for (int i = 0; i < 4; ++i) {
                auto* panel = control<QWidget>(dialog, QStringLiteral("picTabPage(%1)").arg(i));
                QCOMPARE(panel->isVisible(), i == page);
                QCOMPARE(
                    control<QPushButton>(dialog, QStringLiteral("optPage(%1)").arg(i))->isChecked(),
                    i == page);
            }
            auto* shown = control<QWidget>(dialog, QStringLiteral("picTabPage(%1)").arg(page));
            // 30 twips in on every side: 2 pixels at 96 DPI.
            QCOMPARE(QRect(shown->mapTo(frame, QPoint(0, 0)), shown->size()),
                     frame->rect().adjusted(2, 2, -2, -2));
        }
        // The page keeps to the frame when the dialog grows.
        const int before = frame->width();
        dialog.resize(dialog.width() + 80, dialog.height() + 40);
        QTest::qWait(20);
        QVERIFY(frame->width() > before);
        auto* first = control<QWidget>(dialog, QStringLiteral("picTabPage(0)"));
        QCOMPARE(QRect(first->mapTo(frame, QPoint(0, 0)), first->size()),
                 frame->rect().adjusted(2, 2, -2, -2));
    }

    void itStaysWithTheWindowItWasOpenedOver()
    {
        QWidget owner;
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        settings::Settings record;
        setup::FontNameCache cache;
        setup::fomSetup dialog(record, cache, &owner);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QString fault = dialogFrameFault(dialog, owner);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }

    void confirmingWithoutEditsKeepsEveryValue()
    {
        settings::Settings record = everythingSet();
        const settings::Settings before = record;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        QTest::keyClick(open->dialog.get(), Qt::Key_Return);
        QVERIFY(!open->dialog->isVisible());
        QCOMPARE(open->dialog->result(), int(QDialog::Accepted));
        QVERIFY(record == before);
    }

    void confirmingStoresEveryPage()
    {
        settings::Settings record = everythingSet();
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        editEveryPage(*open->dialog);
        confirm(*open->dialog);
        QCOMPARE(record.FontSize, 20);
        QCOMPARE(record.Columns, 40);
        QVERIFY(record.Inyofu == u"|");
        QCOMPARE(record.ChgMode, 0);
        QCOMPARE(record.Kinsoku, 0);
        QCOMPARE(record.PgpFlg, 0);
        QCOMPARE(record.PgpVer, 0);
        QVERIFY(record.PgpPath == u"/x");
        QCOMPARE(record.EnvSize, 1);
        QCOMPARE(record.ConvMode, 1);
        QVERIFY(record.UserList[0] == u"a@example.jp"); // not the dialog's
    }

    void leavingWithoutConfirmingChangesNothing_data()
    {
        QTest::addColumn<int>("way");
        QTest::newRow("ｷｬﾝｾﾙ") << 0;
        QTest::newRow("Esc") << 1;
        QTest::newRow("the close box") << 2;
    }
    void leavingWithoutConfirmingChangesNothing()
    {
        QFETCH(int, way);
        settings::Settings record = everythingSet();
        const settings::Settings before = record;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        editEveryPage(*open->dialog);
        if (way == 0)
            QTest::mouseClick(control<QPushButton>(*open->dialog, QStringLiteral("cmdCancel")),
                              Qt::LeftButton);
        else if (way == 1)
            QTest::keyClick(open->dialog.get(), Qt::Key_Escape);
        else
            open->dialog->close();
        QVERIFY(!open->dialog->isVisible());
        QCOMPARE(open->dialog->result(), int(QDialog::Rejected));
        QVERIFY(record == before);
    }

    void theVersionButtonOpensTheAboutBox()
    {
        settings::Settings record;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        QString line;
        QString frameFault;
        const QString title = answerModal(
            [&] {
                QTest::mouseClick(control<QPushButton>(*open->dialog, QStringLiteral("cmdVersion")),
                                  Qt::LeftButton);
            },
            [&](QWidget* box) {
                line = control<QLabel>(*box, QStringLiteral("Label1"))->text();
                frameFault = dialogFrameFault(*qobject_cast<QDialog*>(box), *open->dialog);
                QTest::keyClick(box, Qt::Key_Escape);
            });
        QCOMPARE(title, QStringLiteral("Kestrova ﾊﾞｰｼﾞｮﾝ情報"));
        QCOMPARE(line, QStringLiteral("Kestrova for Linux Version 1.7"));
        QVERIFY2(frameFault.isEmpty(), qPrintable(frameFault)); // it stays over the dialog
        QVERIFY(open->dialog->isVisible());                     // back in the settings dialog
    }

    void theHelpNamesEveryCaptionOfTheDialogAndItsAboutBox()
    {
        QFile help(QStringLiteral(KESTROVA_HELP_PATH));
        QVERIFY2(help.open(QIODevice::ReadOnly), KESTROVA_HELP_PATH);
        const QString html = QString::fromUtf8(help.readAll());
        settings::Settings record = everythingSet();
        setup::FontNameCache cache;
        // Both PGP panels, in turn, so that every control has been on show.
        QStringList captions;
        for (const int version : {0, 2}) {
            record.PgpVer = version;
            auto open = openDialog(record, cache);
            captions.push_back(open->dialog->windowTitle());
            for (auto* label : open->dialog->findChildren<QLabel*>())
                captions.push_back(label->text());
            for (auto* button : open->dialog->findChildren<QAbstractButton*>())
                captions.push_back(button->text());
        }
        captions.push_back(QStringLiteral("Kestrova ﾊﾞｰｼﾞｮﾝ情報"));
        captions.removeAll(QString());
        captions.removeDuplicates();
        QStringList missing;
        for (const QString& caption : captions) {
            if (!html.contains(caption.toHtmlEscaped()))
                missing.push_back(caption);
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(" / "))));
    }

    void noCaptionIsCutOffOrOverlaps_data()
    {
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("pgpVersion");
        QTest::addColumn<int>("pgpOn");
        QTest::newRow("9 pt, PGP 2.6.3i") << 9 << 0 << 1;
        QTest::newRow("12 pt, PGP 2.6.3i") << 12 << 0 << 1;
        QTest::newRow("12 pt, PGP off") << 12 << 0 << 0;
        QTest::newRow("9 pt, PGP 6.5.1i") << 9 << 2 << 1;
        QTest::newRow("12 pt, PGP 6.5.1i") << 12 << 2 << 1;
    }
    void noCaptionIsCutOffOrOverlaps()
    {
        QFETCH(int, points);
        QFETCH(int, pgpVersion);
        QFETCH(int, pgpOn);
        const QFont before = QApplication::font();
        QApplication::setFont(QFont(QStringLiteral("IPAGothic"), points));
        settings::Settings record = everythingSet();
        record.PgpVer = pgpVersion;
        record.PgpFlg = pgpOn;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        QWidget& dialog = *open->dialog;
        QVERIFY(QFontInfo(dialog.font()).family() == QStringLiteral("IPAGothic"));
        for (int page = 0; page < 4; ++page) {
            control<QPushButton>(dialog, QStringLiteral("optPage(%1)").arg(page))->click();
            QWidget* panel = control<QWidget>(dialog, QStringLiteral("picTabPage(%1)").arg(page));
            // The page's controls inside the page, the page inside the frame, and the
            // dialog's own buttons around it.
            const QString pageFault = layoutFault(*panel, panel->rect());
            QVERIFY2(pageFault.isEmpty(), qPrintable(pageFault));
            auto* frame = control<QFrame>(dialog, QStringLiteral("pageFrame"));
            QVERIFY(QRect(frame->mapTo(&dialog, QPoint(0, 0)), frame->size())
                        .contains(QRect(panel->mapTo(&dialog, QPoint(0, 0)), panel->size())));
            for (const char* name : {"optPage(0)", "optPage(1)", "optPage(2)", "optPage(3)",
                                     "cmdCancel", "cmdVersion", "cmdExit"}) {
                auto* button = control<QPushButton>(dialog, QString::fromLatin1(name));
                QVERIFY2(button->width() >= button->sizeHint().width(), name);
                QVERIFY2(dialog.rect().contains(button->geometry()), name);
                QVERIFY2(!button->geometry().intersects(
                             QRect(panel->mapTo(&dialog, QPoint(0, 0)), panel->size())),
                         name);
            }
            saveScreenshot(dialog, QStringLiteral("setup-%1pt-pgp%2-%3-page%4")
                                       .arg(points)
                                       .arg(pgpVersion)
                                       .arg(pgpOn ? QStringLiteral("on") : QStringLiteral("off"))
                                       .arg(page));
        }
        QApplication::setFont(before);
    }

private:
    std::optional<WithoutPgpEnvironment> m_environment;
};

std::unique_ptr<QObject> makeDialogTest() { return std::make_unique<DialogTest>(); }

} // namespace kestrova::test

#include "dialog_test.moc"
