// The pass-phrase dialog and the result viewer, driven as a user drives them.
#include "layout_check.h"
#include "modal_script.h"
#include "spoken_names.h"

#include "pgp/batch.h"
#include "pgpui/passphrase.h"
#include "pgpui/view.h"
#include "platform/qtext.h"
#include "platform/twips.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <memory>

namespace kestrova::pgpui {

// Reaches the controls by their names.
class PassPhraseTestAccess
{
public:
    static QLineEdit* txtPassPhrase(fomPassPhrase& d) { return d.txtPassPhrase; }
    static QComboBox* cboPassPhrase(fomPassPhrase& d) { return d.cboPassPhrase; }
};

class ViewTestAccess
{
public:
    static QPlainTextEdit* txtView(fomView& v) { return v.txtView; }
    static QPushButton* cmdExit(fomView& v) { return v.cmdExit; }
};

} // namespace kestrova::pgpui

namespace kestrova::test {

using pgpui::fomPassPhrase;
using pgpui::fomView;
using pgpui::PassPhraseTestAccess;
using pgpui::UserListSlots;
using pgpui::ViewTestAccess;

namespace {

UserListSlots userList(std::initializer_list<std::u16string> ids)
{
    UserListSlots list;
    std::size_t i = 0;
    for (const auto& id : ids)
        list[i++] = id;
    return list;
}

// Runs step against the dialog once it is shown modally.
void whenShown(QWidget& dialog, const std::function<void()>& step)
{
    auto timer = std::make_shared<QTimer>();
    timer->setInterval(10);
    QObject::connect(timer.get(), &QTimer::timeout, &dialog, [timer, &dialog, step] {
        if (!dialog.isVisible())
            return;
        timer->stop();
        step();
    });
    timer->start();
}

QString clipboardText() { return QApplication::clipboard()->text(); }

} // namespace

class DialogsTest : public QObject
{
    Q_OBJECT

private slots:
    void idModeListsTheRecentIdsAndKeepsTheUserListRules_data()
    {
        QTest::addColumn<std::vector<std::u16string>>("before");
        QTest::addColumn<QString>("typed"); // empty: take the preselected or pick "pick"
        QTest::addColumn<int>("pick");      // index in the list to choose, -1 none
        QTest::addColumn<std::vector<std::u16string>>("listed");
        QTest::addColumn<std::u16string>("value");
        QTest::addColumn<std::vector<std::u16string>>("after");
        using V = std::vector<std::u16string>;
        QTest::newRow("free places skipped, first preselected")
            << V{u"A", u"", u"B"} << QString() << -1 << V{u"A", u"B"} << std::u16string(u"A")
            << V{u"A", u"B"};
        QTest::newRow("chosen ID moves to the front, others keep their order")
            << V{u"A", u"", u"B"} << QString() << 1 << V{u"A", u"B"} << std::u16string(u"B")
            << V{u"B", u"A"};
        QTest::newRow("a new ID drops the eighth")
            << V{u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8"} << QStringLiteral("C") << -1
            << V{u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8"} << std::u16string(u"C")
            << V{u"C", u"1", u"2", u"3", u"4", u"5", u"6", u"7"};
        QTest::newRow("another letter case is another ID")
            << V{u"alice", u"bob"} << QStringLiteral("Alice") << -1 << V{u"alice", u"bob"}
            << std::u16string(u"Alice") << V{u"Alice", u"alice", u"bob"};
        QTest::newRow("an empty list and an empty OK")
            << V{} << QString() << -1 << V{} << std::u16string() << V{u""};
    }

    void idModeListsTheRecentIdsAndKeepsTheUserListRules()
    {
        QFETCH(std::vector<std::u16string>, before);
        QFETCH(QString, typed);
        QFETCH(int, pick);
        QFETCH(std::vector<std::u16string>, listed);
        QFETCH(std::u16string, value);
        QFETCH(std::vector<std::u16string>, after);
        UserListSlots list;
        std::copy(before.begin(), before.end(), list.begin());
        fomPassPhrase dialog;
        QComboBox* combo = PassPhraseTestAccess::cboPassPhrase(dialog);
        QLineEdit* box = PassPhraseTestAccess::txtPassPhrase(dialog);
        std::vector<std::u16string> shown;
        QString preselected;
        bool boxHidden = false;
        QPoint comboAt;
        whenShown(dialog, [&] {
            for (int i = 0; i < combo->count(); ++i)
                shown.push_back(combo->itemText(i).toStdU16String());
            preselected = combo->currentText();
            boxHidden = !box->isVisible();
            comboAt = combo->pos();
            if (pick >= 0)
                combo->setCurrentIndex(pick);
            if (!typed.isEmpty())
                combo->setEditText(typed);
            QTest::keyClick(combo->lineEdit(), Qt::Key_Return); // Enter answers OK
        });
        const auto got = dialog.InputId(u"受取人のIDを入力して下さい", list);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("受取人のIDを入力して下さい"));
        QCOMPARE(shown, listed);
        QCOMPARE(preselected, listed.empty() ? QString() : QString::fromStdU16String(listed[0]));
        QVERIFY(boxHidden);
        QCOMPARE(comboAt, box->pos());
        QVERIFY(got.has_value());
        QCOMPARE(*got, value);
        after.resize(list.size());
        QCOMPARE(std::vector<std::u16string>(list.begin(), list.end()), after);
    }

    void cancelOrTheCloseBoxGivesNothingAndKeepsTheList_data()
    {
        QTest::addColumn<int>("how"); // 0 Cancel, 1 Esc, 2 close box
        QTest::addColumn<bool>("idMode");
        QTest::newRow("Cancel, ID") << 0 << true;
        QTest::newRow("Esc, ID") << 1 << true;
        QTest::newRow("close box, ID") << 2 << true;
        QTest::newRow("Cancel, pass phrase") << 0 << false;
        QTest::newRow("close box, pass phrase") << 2 << false;
    }

    void cancelOrTheCloseBoxGivesNothingAndKeepsTheList()
    {
        QFETCH(int, how);
        QFETCH(bool, idMode);
        UserListSlots list = userList({u"A", u"B"});
        const UserListSlots kept = list;
        fomPassPhrase dialog;
        whenShown(dialog, [&] {
            PassPhraseTestAccess::txtPassPhrase(dialog)->setText(QStringLiteral("secret"));
            PassPhraseTestAccess::cboPassPhrase(dialog)->setEditText(QStringLiteral("C"));
            if (how == 0)
                ModalScript::cancel()(&dialog);
            else if (how == 1)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                dialog.close();
        });
        const auto got = idMode ? dialog.InputId(u"prompt", list) : dialog.InputPass(u"prompt");
        QVERIFY(!got.has_value());
        QCOMPARE(list, kept);
        QVERIFY(PassPhraseTestAccess::txtPassPhrase(dialog)->text().isEmpty());
    }

    void everyControlHasANameAndADescriptionForScreenReaders()
    {
        fomPassPhrase passPhrase;
        fomView view;
        for (QWidget* dialog : {static_cast<QWidget*>(&passPhrase), static_cast<QWidget*>(&view)}) {
            int controls = 0;
            const QStringList unspoken = unspokenControls(dialog, &controls);
            QVERIFY(controls >= 2);
            QVERIFY2(unspoken.isEmpty(), qPrintable(unspoken.join(QStringLiteral("; "))));
        }
    }

    void passPhraseModeIsMaskedAndForgetsWhatWasTyped()
    {
        fomPassPhrase dialog;
        QLineEdit* box = PassPhraseTestAccess::txtPassPhrase(dialog);
        QLineEdit::EchoMode echo = QLineEdit::Normal;
        bool comboHidden = false;
        QString shownText;
        whenShown(dialog, [&] {
            echo = box->echoMode();
            comboHidden = !PassPhraseTestAccess::cboPassPhrase(dialog)->isVisible();
            QTest::keyClicks(box, QStringLiteral("p"));
            box->insert(QStringLiteral("ä"));
            QTest::keyClicks(box, QStringLiteral(" ss\"%"));
            shownText = box->displayText();
            QTest::keyClick(box, Qt::Key_Return);
        });
        const auto got = dialog.InputPass(u"ﾊﾟｽﾌﾚｰｽﾞを入力して下さい");
        QVERIFY(got.has_value());
        QCOMPARE(*got, std::u16string(u"pä ss\"%"));
        QCOMPARE(echo, QLineEdit::Password);
        QVERIFY(comboHidden);
        QVERIFY(!shownText.contains(QStringLiteral("ss")));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("ﾊﾟｽﾌﾚｰｽﾞを入力して下さい"));
        // Nothing of it stays in the box, nor in its undo history.
        QVERIFY(box->text().isEmpty());
        box->undo();
        QVERIFY(box->text().isEmpty());
    }

    void passPhraseModeNeverTouchesTheRecentIds()
    {
        UserListSlots list = userList({u"A", u"B"});
        const UserListSlots kept = list;
        fomPassPhrase dialog;
        // An ID dialog first, then the same dialog for a pass phrase.
        whenShown(dialog, [&] { ModalScript::cancel()(&dialog); });
        QVERIFY(!dialog.InputId(u"id", list).has_value());
        whenShown(dialog, [&] { ModalScript::typePassPhrase(QStringLiteral("Z"))(&dialog); });
        const auto got = dialog.InputPass(u"pass");
        QVERIFY(got.has_value());
        QCOMPARE(*got, std::u16string(u"Z"));
        QCOMPARE(list, kept);
    }

    void everyQuestionShowsWholeInTheDialogAt9And12Points_data()
    {
        QTest::addColumn<int>("points");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<bool>("idMode");
        const std::pair<std::u16string_view, bool> questions[] = {
            {pgp::kPassPhrasePrompt, false}, {pgp::kRecipientPrompt, true},
            {pgp::kPubKeyPrompt, true},      {pgp::kFingerPrompt, true},
            {pgp::kRemovePrompt, true},
        };
        for (const int points : {9, 12})
            for (const auto& [prompt, idMode] : questions) {
                const QString text = platform::toQString(prompt);
                QTest::addRow("%d pt, %s", points, qPrintable(text)) << points << text << idMode;
            }
    }

    void everyQuestionShowsWholeInTheDialogAt9And12Points()
    {
        QFETCH(int, points);
        QFETCH(QString, prompt);
        QFETCH(bool, idMode);
        UserListSlots list = userList({u"someone-with-a-long-address@example.jp"});
        fomPassPhrase dialog;
        dialog.setFont(QFont(QStringLiteral("IPAGothic"), points));
        QString shownPrompt;
        QString fault;
        whenShown(dialog, [&] {
            for (auto* label : dialog.findChildren<QLabel*>())
                if (label->isVisible())
                    shownPrompt += label->text();
            fault = layoutFault(dialog, dialog.rect());
            ModalScript::cancel()(&dialog);
        });
        static_cast<void>(idMode ? dialog.InputId(prompt.toStdU16String(), list)
                                 : dialog.InputPass(prompt.toStdU16String()));
        QCOMPARE(dialog.windowTitle(), prompt); // the caption as before
        QCOMPARE(shownPrompt, prompt);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }

    void dialogsStayWithTheWindowTheyWereOpenedOver_data()
    {
        QTest::addColumn<int>("which"); // 0 pass phrase, 1 user ID, 2 viewer
        QTest::newRow("pass phrase") << 0;
        QTest::newRow("user ID") << 1;
        QTest::newRow("viewer") << 2;
    }

    void dialogsStayWithTheWindowTheyWereOpenedOver()
    {
        QFETCH(int, which);
        QWidget owner;
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        UserListSlots list;
        fomPassPhrase question(&owner);
        fomView viewer(&owner);
        QDialog& dialog = which == 2 ? static_cast<QDialog&>(viewer) : question;
        QString fault = QStringLiteral("never shown");
        whenShown(dialog, [&] {
            fault = dialogFrameFault(dialog, owner);
            dialog.close();
        });
        if (which == 0)
            static_cast<void>(question.InputPass(u"pass"));
        else if (which == 1)
            static_cast<void>(question.InputId(u"id", list));
        else
            viewer.View(u"結果表示", u"text", QString());
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }

    void viewerShowsTheTextReadOnlyUnwrappedInTheGivenFace()
    {
        fomView viewer;
        QPlainTextEdit* box = ViewTestAccess::txtView(viewer);
        const QString face = QStringLiteral("DejaVu Sans Mono");
        QString shown;
        QString typedInto;
        bool scrollsSideways = false;
        whenShown(viewer, [&] {
            // The long line is laid out once the box is shown, later on a busy machine.
            scrollsSideways =
                QTest::qWaitFor([&] { return box->horizontalScrollBar()->maximum() > 0; }, 10000);
            shown = box->toPlainText();
            QTest::keyClicks(box, QStringLiteral("xyz"));
            typedInto = box->toPlainText();
            ModalScript::readView(shown)(&viewer);
        });
        const std::u16string longLine(400, u'長');
        viewer.View(u"結果表示", u"一行目\r\n" + longLine + u"\r\n", face);
        QCOMPARE(viewer.windowTitle(), QStringLiteral("結果表示"));
        QVERIFY(shown.startsWith(QStringLiteral("一行目\n")));
        QVERIFY(!shown.contains(u'\r'));
        QCOMPARE(typedInto, shown.left(typedInto.size()));
        QVERIFY(box->isReadOnly());
        QCOMPARE(box->lineWrapMode(), QPlainTextEdit::NoWrap);
        QCOMPARE(box->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(box->font().family(), face);
        QVERIFY(scrollsSideways);
    }

    void ctrlASelectsAllAndCtrlCCopiesOnlyTheSelection()
    {
        fomView viewer;
        QPlainTextEdit* box = ViewTestAccess::txtView(viewer);
        QString afterNothingSelected = QStringLiteral("unset");
        QString afterSelectAll;
        QString selected;
        whenShown(viewer, [&] {
            QApplication::clipboard()->setText(QStringLiteral("old"));
            QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
            afterNothingSelected = clipboardText();
            QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
            selected = box->textCursor().selectedText();
            QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
            afterSelectAll = clipboardText();
            viewer.close();
        });
        viewer.View(u"結果表示", u"gpg: Good signature\r\n署名は正しい\r\n", QString());
        QCOMPARE(afterNothingSelected, QString());
        QCOMPARE(selected.size(), QStringLiteral("gpg: Good signature\n署名は正しい\n").size());
        QCOMPARE(afterSelectAll, QStringLiteral("gpg: Good signature\n署名は正しい\n"));
    }

    void resizeKeepsTheLayoutAboveAThousandTwipsAndLeavesItBelow()
    {
        fomView viewer;
        QPlainTextEdit* box = ViewTestAccess::txtView(viewer);
        QPushButton* button = ViewTestAccess::cmdExit(viewer);
        QRect boxAtBig;
        QRect buttonAtBig;
        QRect boxAtSmall;
        QRect buttonAtSmall;
        QSize big;
        whenShown(viewer, [&] {
            viewer.resize(platform::twipsToPixelsX(&viewer, 6000),
                          platform::twipsToPixelsY(&viewer, 3000));
            QApplication::processEvents();
            big = viewer.size();
            boxAtBig = box->geometry();
            buttonAtBig = button->geometry();
            viewer.resize(platform::twipsToPixelsX(&viewer, 5000),
                          platform::twipsToPixelsY(&viewer, 900));
            QApplication::processEvents();
            boxAtSmall = box->geometry();
            buttonAtSmall = button->geometry();
            viewer.close();
        });
        viewer.View(u"t", u"text", QString());
        QCOMPARE(boxAtBig.topLeft(), QPoint(0, 0));
        QCOMPARE(boxAtBig.width(), big.width());
        QCOMPARE(boxAtBig.height(), big.height() - platform::twipsToPixelsY(&viewer, 600));
        QCOMPARE(buttonAtBig.top(), big.height() - platform::twipsToPixelsY(&viewer, 510));
        QVERIFY(qAbs(buttonAtBig.center().x() - big.width() / 2) <= 1);
        QCOMPARE(boxAtSmall, boxAtBig);
        QCOMPARE(buttonAtSmall, buttonAtBig);
    }
};

std::unique_ptr<QObject> makeDialogsTest() { return std::make_unique<DialogsTest>(); }

} // namespace kestrova::test

#include "dialogs_test.moc"
