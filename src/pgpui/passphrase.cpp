#include "pgpui/passphrase.h"

#include "pgp/secret.h"
#include "platform/qtext.h"
#include "platform/twips.h"

#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace kestrova::pgpui {

namespace {

// The designed layout, in twips.
constexpr platform::TwipRect kTextBox{120, 120, 3375, 270};
constexpr platform::TwipRect kComboBox{120, 480, 3375, 270};
constexpr platform::TwipRect kCancelButton{360, 600, 1215, 375};
constexpr platform::TwipRect kOkButton{2040, 600, 1215, 375};
constexpr int kInnerWidth = 3615;
constexpr int kInnerHeight = 1095;

// Overwrites the characters a QString holds once nothing else shares them, then empties it.
void wipeQString(QString& text)
{
    QChar* characters = text.data(); // detaches: only this copy is overwritten
    std::fill(characters, characters + text.size(), QChar(u'\0'));
    text.clear();
}

} // namespace

fomPassPhrase::fomPassPhrase(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Input PassPhrase"));
    txtPassPhrase = new QLineEdit(this);
    txtPassPhrase->setEchoMode(QLineEdit::Password);
    // A pass phrase is never offered to an input method's dictionary or prediction.
    txtPassPhrase->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData |
                                       Qt::ImhNoPredictiveText);
    cboPassPhrase = new QComboBox(this);
    cboPassPhrase->setEditable(true);
    // Enter confirms; it does not add the typed ID to the list behind OK's back.
    cboPassPhrase->setInsertPolicy(QComboBox::NoInsert);
    // IDs differing in letter case are different IDs: Enter must not swap a typed "Alice" for
    // a listed "alice", nor completion offer one for the other.
    cboPassPhrase->setDuplicatesEnabled(true);
    if (QCompleter* completer = cboPassPhrase->completer())
        completer->setCaseSensitivity(Qt::CaseSensitive);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdExit = new QPushButton(QStringLiteral("OK"), this);
    cmdExit->setDefault(true);
    // No label stands beside the boxes: a screen reader needs their names.
    txtPassPhrase->setAccessibleName(QStringLiteral("パスフレーズ"));
    txtPassPhrase->setAccessibleDescription(
        QStringLiteral("鍵のパスフレーズ。入力した文字は表示されません"));
    cboPassPhrase->setAccessibleName(QStringLiteral("ユーザー ID"));
    cboPassPhrase->setAccessibleDescription(
        QStringLiteral("鍵のユーザー ID。最近使ったものから選べます"));
    cmdCancel->setAccessibleDescription(QStringLiteral("入力をやめます"));
    cmdExit->setAccessibleDescription(QStringLiteral("入力したものを使います"));

    platform::placeInTwips(txtPassPhrase, kTextBox);
    platform::placeInTwips(cboPassPhrase, kComboBox);
    platform::placeInTwips(cmdCancel, kCancelButton);
    platform::placeInTwips(cmdExit, kOkButton);
    setFixedSize(platform::twipsToPixelsX(this, kInnerWidth),
                 platform::twipsToPixelsY(this, kInnerHeight));
    setTabOrder(txtPassPhrase, cboPassPhrase);
    setTabOrder(cboPassPhrase, cmdExit);
    setTabOrder(cmdExit, cmdCancel);

    connect(cmdExit, &QPushButton::clicked, this, &fomPassPhrase::cmdExit_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &fomPassPhrase::cmdCancel_Click);
    // An editable combo box keeps Enter to itself; in this dialog Enter means OK there too.
    connect(cboPassPhrase->lineEdit(), &QLineEdit::returnPressed, cmdExit, &QPushButton::click);
    // Esc and the close box end the dialog as Cancel does.
    connect(this, &QDialog::rejected, this, [this] {
        if (m_result != 0)
            pgp::wipeString(m_value);
    });
    Form_Load();
}

fomPassPhrase::~fomPassPhrase()
{
    clearTypedText();
    pgp::wipeString(m_value);
}

void fomPassPhrase::Form_Load() { m_result = -1; }

void fomPassPhrase::clearTypedText()
{
    QString typed = txtPassPhrase->text();
    // Setting a new text also drops the box's undo history, which held every keystroke.
    txtPassPhrase->setText(QString());
    wipeQString(typed);
}

void fomPassPhrase::InputPass(std::u16string& value, std::u16string_view prompt, int& result)
{
    setWindowTitle(platform::toQString(prompt));
    cboPassPhrase->hide();
    txtPassPhrase->show();
    txtPassPhrase->setFocus();
    m_userList = nullptr;
    ask(value, result);
}

void fomPassPhrase::InputId(std::u16string& value, std::u16string_view prompt, int& result,
                            UserListSlots& UserList)
{
    setWindowTitle(platform::toQString(prompt));
    cboPassPhrase->move(txtPassPhrase->pos());
    txtPassPhrase->hide();
    cboPassPhrase->show();
    cboPassPhrase->clear();
    for (const auto& id : UserList)
        if (!id.empty())
            cboPassPhrase->addItem(platform::toQString(id));
    if (cboPassPhrase->count() > 0)
        cboPassPhrase->setCurrentIndex(0);
    cboPassPhrase->setFocus();
    m_userList = &UserList;
    ask(value, result);
}

void fomPassPhrase::ask(std::u16string& value, int& result)
{
    Form_Load();
    pgp::wipeString(m_value);
    exec();
    clearTypedText();
    value = m_value;
    result = m_result;
    pgp::wipeString(m_value);
}

void fomPassPhrase::cmdExit_Click()
{
    m_result = 0;
    if (txtPassPhrase->isHidden()) {
        m_value = platform::toU16(cboPassPhrase->currentText());
        if (m_userList) {
            UserListSlots& list = *m_userList;
            std::size_t next = 0;
            list[next++] = m_value;
            for (int i = 0; i < cboPassPhrase->count() && next < list.size(); ++i) {
                std::u16string entry = platform::toU16(cboPassPhrase->itemText(i));
                if (entry != m_value) // exact: a different letter case is another ID
                    list[next++] = std::move(entry);
            }
            for (; next < list.size(); ++next)
                list[next].clear();
        }
    } else {
        QString typed = txtPassPhrase->text();
        m_value = platform::toU16(typed);
        wipeQString(typed);
    }
    accept();
}

void fomPassPhrase::cmdCancel_Click()
{
    pgp::wipeString(m_value);
    reject();
}

void InputPass(std::u16string& value, std::u16string_view prompt, int& result, QWidget* parent)
{
    fomPassPhrase dialog(parent);
    dialog.InputPass(value, prompt, result);
}

void InputId(std::u16string& value, std::u16string_view prompt, int& result,
             UserListSlots& UserList, QWidget* parent)
{
    fomPassPhrase dialog(parent);
    dialog.InputId(value, prompt, result, UserList);
}

} // namespace kestrova::pgpui
