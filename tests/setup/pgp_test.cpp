// Page 2 "PGP関連": enabling, the two panels, the JIS and environment rules, the folder chooser
// and the key buttons' hook.
#include "setup_support.h"

#include "platform/qtext.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <optional>
#include <vector>

namespace kestrova::test {

namespace {

const QStringList kPgpBoxes = {QStringLiteral("txtEnvSize"), QStringLiteral("txtPgpPath"),
                               QStringLiteral("txtTimeZone"), QStringLiteral("txtUserId"),
                               QStringLiteral("txtPassPhrase")};
const QStringList kPgpOthers = {
    QStringLiteral("cmdPgpPath"),      QStringLiteral("chkPGPEncryptMode"),
    QStringLiteral("chkJisConv"),      QStringLiteral("cmdPGPKeyView"),
    QStringLiteral("cmdPGPKeyRemove"), QStringLiteral("cmdPGPCommand")};

// Every control that "PGPを使う" governs is enabled (on) or disabled, and the five boxes have
// the window background or the button face of the platform's palette.
void checkPgpControls(QWidget& dialog, bool on)
{
    const QColor expected = QApplication::palette().color(on ? QPalette::Base : QPalette::Button);
    for (const QString& name : kPgpBoxes) {
        auto* box = control<QLineEdit>(dialog, name);
        QVERIFY2(box->isEnabled() == on, qPrintable(name));
        QVERIFY2(box->palette().color(QPalette::Base) == expected, qPrintable(name));
    }
    for (const QString& name : kPgpOthers)
        QVERIFY2(control<QWidget>(dialog, name)->isEnabled() == on, qPrintable(name));
    QVERIFY(control<QWidget>(dialog, QStringLiteral("chkPGPViewMini"))->isEnabled());
}

} // namespace

class PgpPageTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_environment.emplace(); }
    void cleanup() { m_environment.reset(); }

    void pgpOffDisablesItsControlsAndTickingEnablesThemAtOnce()
    {
        settings::Settings record;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        control<QPushButton>(*open->dialog, QStringLiteral("optPage(2)"))->click();
        checkPgpControls(*open->dialog, false);
        control<QCheckBox>(*open->dialog, QStringLiteral("chkPGP_Flg"))->click();
        checkPgpControls(*open->dialog, true);
        QCOMPARE(record.PgpFlg, 0); // not before confirming
        control<QCheckBox>(*open->dialog, QStringLiteral("chkPGP_Flg"))->click();
        checkPgpControls(*open->dialog, false);
    }

    void aStoredPgpOnOpensEnabled()
    {
        settings::Settings record;
        record.PgpFlg = 1;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        QVERIFY(control<QCheckBox>(*open->dialog, QStringLiteral("chkPGP_Flg"))->isChecked());
        checkPgpControls(*open->dialog, true);
        confirm(*open->dialog);
        QCOMPARE(record.PgpFlg, 1);
    }

    void theGenerationPicksThePanel_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("chosen");
        QTest::newRow("2.6.3i, then 5.5.3i") << 0 << 1;
        QTest::newRow("2.6.3i, then 6.5.1i") << 0 << 2;
        QTest::newRow("5.5.3i, then 2.6.3i") << 1 << 0;
        QTest::newRow("6.5.1i, then 2.6.3i") << 2 << 0;
    }
    void theGenerationPicksThePanel()
    {
        QFETCH(int, stored);
        QFETCH(int, chosen);
        settings::Settings record;
        record.PgpFlg = 1;
        record.PgpVer = stored;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        QWidget& dialog = *open->dialog;
        control<QPushButton>(dialog, QStringLiteral("optPage(2)"))->click();
        const auto check = [&](int version) {
            const bool old = version == 0;
            for (const char* name :
                 {"txtPgpPath", "cmdPgpPath", "txtTimeZone", "txtUserId", "txtPassPhrase",
                  "txtEnvSize", "cmdPGPKeyView", "cmdPGPKeyRemove", "cmdPGPCommand"})
                QVERIFY2(control<QWidget>(dialog, QString::fromLatin1(name))->isVisible() == old,
                         name);
            QCOMPARE(control<QWidget>(dialog, QStringLiteral("chkPGPViewMini"))->isVisible(), !old);
            QVERIFY(control<QWidget>(dialog, QStringLiteral("chkPGPEncryptMode"))->isVisible());
            QVERIFY(control<QWidget>(dialog, QStringLiteral("chkJisConv"))->isVisible());
            // The panels share one place at the page's left edge, as wide as the page.
            QWidget* const shown =
                control<QWidget>(dialog, QStringLiteral("picPgpPage(%1)").arg(old ? 0 : 1));
            QWidget* const page = control<QWidget>(dialog, QStringLiteral("picTabPage(2)"));
            QVERIFY(shown->geometry().left() >= 0);
            QVERIFY(shown->geometry().right() <= page->width());
        };
        check(stored);
        QVERIFY(control<QRadioButton>(dialog, QStringLiteral("optPgpVer(%1)").arg(stored))
                    ->isChecked());
        control<QRadioButton>(dialog, QStringLiteral("optPgpVer(%1)").arg(chosen))->click();
        check(chosen);
        confirm(dialog);
        QCOMPARE(record.PgpVer, chosen);
    }

    void theJisBoxStoresAllBitsOrNone_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<int>("confirmed");
        QTest::newRow("1 opens ticked, becomes 7") << 1 << true << 7;
        QTest::newRow("6 opens clear, becomes 0") << 6 << false << 0;
        QTest::newRow("7 stays 7") << 7 << true << 7;
        QTest::newRow("0 stays 0") << 0 << false << 0;
    }
    void theJisBoxStoresAllBitsOrNone()
    {
        QFETCH(int, stored);
        QFETCH(bool, ticked);
        QFETCH(int, confirmed);
        settings::Settings record;
        record.JisConvMode = stored;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        QCOMPARE(control<QCheckBox>(*open->dialog, QStringLiteral("chkJisConv"))->isChecked(),
                 ticked);
        confirm(*open->dialog);
        QCOMPARE(record.JisConvMode, confirmed);
    }

    void theEnvironmentFillsEmptyBoxesAndIsNotStored_data()
    {
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("inEnvironment");
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("stored");
        for (const auto& [variable, box] :
             {std::pair{QStringLiteral("PGPPATH"), QStringLiteral("txtPgpPath")},
              std::pair{QStringLiteral("TZ"), QStringLiteral("txtTimeZone")},
              std::pair{QStringLiteral("PGPPASS"), QStringLiteral("txtPassPhrase")}}) {
            const QByteArray name = variable.toLatin1();
            QTest::addRow("%s not set: empty, stored empty", name.constData())
                << variable << box << false << QString() << QString();
            QTest::addRow("%s set: shown, kept, stored empty", name.constData())
                << variable << box << true << QString() << QString();
            QTest::addRow("%s set: shown, edited, stored as edited", name.constData())
                << variable << box << true << QStringLiteral("/srv/keys")
                << QStringLiteral("/srv/keys");
        }
    }
    void theEnvironmentFillsEmptyBoxesAndIsNotStored()
    {
        QFETCH(QString, variable);
        QFETCH(QString, box);
        QFETCH(bool, inEnvironment);
        QFETCH(QString, edit);
        QFETCH(QString, stored);
        const QString value = QStringLiteral("env-value ＰＧＰ");
        const QByteArray name = variable.toLatin1();
        EnvironmentValue environment(name.constData(), inEnvironment ? &value : nullptr);
        settings::Settings record;
        record.PgpFlg = 1;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        auto* edit_box = control<QLineEdit>(*open->dialog, box);
        QCOMPARE(edit_box->text(), inEnvironment ? value : QString());
        if (!edit.isEmpty())
            edit_box->setText(edit);
        confirm(*open->dialog);
        const std::u16string* field = variable == QStringLiteral("PGPPATH") ? &record.PgpPath
                                      : variable == QStringLiteral("TZ")    ? &record.TimeZone
                                                                            : &record.PassPhrase;
        QCOMPARE(platform::toQString(*field), stored);
    }

    void aStoredValueWinsOverTheEnvironment()
    {
        const QString value = QStringLiteral("/from/environment");
        EnvironmentValue environment("PGPPATH", &value);
        settings::Settings record;
        record.PgpPath = u"/stored/path";
        record.UserID = u"u@example.jp";
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        QCOMPARE(control<QLineEdit>(*open->dialog, QStringLiteral("txtPgpPath"))->text(),
                 QStringLiteral("/stored/path"));
        QCOMPARE(control<QLineEdit>(*open->dialog, QStringLiteral("txtUserId"))->text(),
                 QStringLiteral("u@example.jp"));
        // Typing the environment's value over it hands the path back to the environment.
        control<QLineEdit>(*open->dialog, QStringLiteral("txtPgpPath"))->setText(value);
        confirm(*open->dialog);
        QVERIFY(record.PgpPath.empty());
        QVERIFY(record.UserID == u"u@example.jp");
    }

    void theEnvironmentSizeIsAPositiveNumberOrNothing_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("confirmed");
        QTest::newRow("0 opens empty, 4096 typed")
            << 0 << QString() << QStringLiteral("4096") << 4096;
        QTest::newRow("512 shown and kept")
            << 512 << QStringLiteral("512") << QStringLiteral("512") << 512;
        QTest::newRow("letters store 0")
            << 512 << QStringLiteral("512") << QStringLiteral("big") << 0;
        QTest::newRow("-3 stores 0") << 512 << QStringLiteral("512") << QStringLiteral("-3") << 0;
        QTest::newRow("empty stores 0") << 512 << QStringLiteral("512") << QString() << 0;
        QTest::newRow("past 32 bits stores 0")
            << 512 << QStringLiteral("512") << QStringLiteral("99999999999") << 0;
        QTest::newRow("above 16 bits is fine")
            << 0 << QString() << QStringLiteral("100000") << 100000;
    }
    void theEnvironmentSizeIsAPositiveNumberOrNothing()
    {
        QFETCH(int, stored);
        QFETCH(QString, shown);
        QFETCH(QString, typed);
        QFETCH(int, confirmed);
        settings::Settings record;
        record.PgpFlg = 1;
        record.EnvSize = stored;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        auto* box = control<QLineEdit>(*open->dialog, QStringLiteral("txtEnvSize"));
        QCOMPARE(box->text(), shown);
        box->setText(typed);
        confirm(*open->dialog);
        QCOMPARE(record.EnvSize, confirmed);
    }

    void theOtherPgpBoxesAreStored()
    {
        settings::Settings record;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        QWidget& dialog = *open->dialog;
        control<QCheckBox>(dialog, QStringLiteral("chkPGP_Flg"))->click();
        control<QCheckBox>(dialog, QStringLiteral("chkPGPEncryptMode"))->click();
        control<QLineEdit>(dialog, QStringLiteral("txtUserId"))->setText(QStringLiteral(" me "));
        auto* pass = control<QLineEdit>(dialog, QStringLiteral("txtPassPhrase"));
        pass->setText(QStringLiteral("secret"));
        QCOMPARE(pass->echoMode(), QLineEdit::Password);
        control<QRadioButton>(dialog, QStringLiteral("optPgpVer(2)"))->click();
        control<QCheckBox>(dialog, QStringLiteral("chkPGPViewMini"))->click();
        confirm(dialog);
        QCOMPARE(record.PgpFlg, 1);
        QCOMPARE(record.EncryptMode, 1);
        QCOMPARE(record.PgpVer, 2);
        QCOMPARE(record.ViewMini, 1);
        QVERIFY(record.UserID == u" me ");
        QVERIFY(record.PassPhrase == u"secret");
    }

    void theKeyButtonsHandTheUnconfirmedBoxesOn_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("word");
        QTest::newRow("鍵一覧") << QStringLiteral("cmdPGPKeyView") << QStringLiteral("view");
        QTest::newRow("鍵削除") << QStringLiteral("cmdPGPKeyRemove") << QStringLiteral("remove");
        QTest::newRow("Shell") << QStringLiteral("cmdPGPCommand") << QStringLiteral("command");
    }
    void theKeyButtonsHandTheUnconfirmedBoxesOn()
    {
        QFETCH(QString, button);
        QFETCH(QString, word);
        settings::Settings record;
        record.PgpFlg = 1;
        record.PgpPath = u"/stored";
        record.PassPhrase = u"stored pass";
        const settings::Settings before = record;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        QWidget& dialog = *open->dialog;
        control<QPushButton>(dialog, QStringLiteral("optPage(2)"))->click();
        control<QLineEdit>(dialog, QStringLiteral("txtPgpPath"))->setText(QStringLiteral("/typed"));
        control<QLineEdit>(dialog, QStringLiteral("txtTimeZone"))->setText(QStringLiteral("JST-9"));
        control<QLineEdit>(dialog, QStringLiteral("txtUserId"))->setText(QStringLiteral("k@x.jp"));
        control<QLineEdit>(dialog, QStringLiteral("txtPassPhrase"))->setText(QStringLiteral("p w"));
        control<QLineEdit>(dialog, QStringLiteral("txtEnvSize"))->setText(QStringLiteral("abc"));

        std::vector<setup::PgpKeyCommand> received;
        bool busy = false;
        open->dialog->setPgpCommand([&](const setup::PgpKeyCommand& command) {
            received.push_back(command);
            busy = QApplication::overrideCursor() &&
                   QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        });
        QTest::mouseClick(control<QPushButton>(dialog, button), Qt::LeftButton);
        QCOMPARE(received.size(), std::size_t{1});
        const setup::PgpKeyCommand expected{word,
                                            0,
                                            QStringLiteral("/typed"),
                                            QStringLiteral("JST-9"),
                                            QStringLiteral("k@x.jp"),
                                            QStringLiteral("p w"),
                                            QStringLiteral("abc")};
        QVERIFY(received[0] == expected);
        QVERIFY(busy);
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(record == before); // the buttons store nothing
        QVERIFY(dialog.isVisible());
    }

    void theFolderTextLosesItsFinalSeparator_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("handed");
        QTest::newRow("C:\\PGP\\") << QStringLiteral("C:\\PGP\\") << QStringLiteral("C:\\PGP");
        QTest::newRow("C:\\ stays") << QStringLiteral("C:\\") << QStringLiteral("C:\\");
        QTest::newRow("C:\\PGP") << QStringLiteral("C:\\PGP") << QStringLiteral("C:\\PGP");
        QTest::newRow("/home/u/pgp/")
            << QStringLiteral("/home/u/pgp/") << QStringLiteral("/home/u/pgp");
        QTest::newRow("/ stays") << QStringLiteral("/") << QStringLiteral("/");
        QTest::newRow("/home/u/pgp")
            << QStringLiteral("/home/u/pgp") << QStringLiteral("/home/u/pgp");
        QTest::newRow("empty") << QString() << QString();
    }
    void theFolderTextLosesItsFinalSeparator()
    {
        QFETCH(QString, text);
        QFETCH(QString, handed);
        QCOMPARE(setup::folderForChooser(text), handed);
    }

    void theBrowseButtonOpensTheChooserOnTheFolder_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accept");
        QTest::newRow("with a final slash, chosen") << QStringLiteral("keys/") << true;
        QTest::newRow("without, chosen") << QStringLiteral("keys") << true;
        QTest::newRow("cancelled: the box keeps its text") << QStringLiteral("keys/") << false;
    }
    void theBrowseButtonOpensTheChooserOnTheFolder()
    {
        QFETCH(QString, typed);
        QFETCH(bool, accept);
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("keys")));
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("other")));
        const QString folder = QDir(root.path()).filePath(QStringLiteral("keys"));
        settings::Settings record;
        record.PgpFlg = 1;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        QWidget& dialog = *open->dialog;
        control<QPushButton>(dialog, QStringLiteral("optPage(2)"))->click();
        auto* box = control<QLineEdit>(dialog, QStringLiteral("txtPgpPath"));
        box->setText(QDir(root.path()).filePath(typed));
        ChooserView view;
        const QString title = answerModal(
            [&] { control<QPushButton>(dialog, QStringLiteral("cmdPgpPath"))->click(); },
            [&](QWidget* modal) {
                view = answerFolderChooser(modal, accept ? QStringLiteral("other") : QString());
            });
        QCOMPARE(title,
                 QStringLiteral(
                     "PGPPATH（PGPの鍵輪ファイルなどの保存されたフォルダ）を選択して下さい。"));
        // Opened in the folder's parent, with the folder itself selected.
        QCOMPARE(view.directory, QDir(root.path()).absolutePath());
        QCOMPARE(view.selected, QStringList{folder});
        QCOMPARE(box->text(), accept ? QDir(root.path()).filePath(QStringLiteral("other"))
                                     : QDir(root.path()).filePath(typed));
    }

private:
    std::optional<WithoutPgpEnvironment> m_environment;
};

std::unique_ptr<QObject> makePgpPageTest() { return std::make_unique<PgpPageTest>(); }

} // namespace kestrova::test

#include "pgp_test.moc"
