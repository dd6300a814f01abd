#include "pgpui/passphrase.h"

#include "pgp/secret.h"
#include "platform/dialogframe.h"
#include "platform/qtext.h"
#include "platform/twips.h"

#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace kestrova::pgpui {

namespace {

// The designed layout, in twips: the least each control gets. The prompt stands above the box
// and pushes the box and the buttons down by its height.
constexpr platform::TwipRect kTextBox{120, 120, 3375, 270};
constexpr platform::TwipRect kCancelButton{360, 600, 1215, 375};
constexpr platform::TwipRect kOkButton{2040, 600, 1215, 375};
constexpr int kInnerWidth = 3615;
constexpr int kInnerHeight = 1095;
constexpr int kPromptGap = 60;

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
    platform::frameAsModalDialog(this);
    setWindowTitle(QStringLiteral("Input PassPhrase"));
    // The caption alone is cut by the window manager: the four ID questions would look alike.
    m_prompt = new QLabel(this);
    m_prompt->setObjectName(QStringLiteral("prompt"));
    m_prompt->setWordWrap(true);
    m_prompt->setAlignment(Qt::AlignLeft | Qt::AlignTop);
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
    // The prompt label speaks its own text, the question.
    m_prompt->setAccessibleDescription(QStringLiteral("何を入力するかの問い"));
    cmdCancel->setAccessibleDescription(QStringLiteral("入力をやめます"));
    cmdExit->setAccessibleDescription(QStringLiteral("入力したものを使います"));

    showPrompt(u"");
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

void fomPassPhrase::showPrompt(std::u16string_view prompt)
{
    using namespace platform;
    setWindowTitle(toQString(prompt));
    m_prompt->setText(toQString(prompt));
    m_prompt->setVisible(!prompt.empty());
    ensurePolished();

    const int left = twipsToPixelsX(this, kTextBox.left);
    const int buttonWidth = std::max({twipsToPixelsX(this, kOkButton.width),
                                      cmdCancel->sizeHint().width(), cmdExit->sizeHint().width()});
    const int buttonHeight =
        std::max({twipsToPixelsY(this, kOkButton.height), cmdCancel->sizeHint().height(),
                  cmdExit->sizeHint().height()});
    const int cancelLeft = twipsToPixelsX(this, kCancelButton.left);
    const int okLeft = std::max(twipsToPixelsX(this, kOkButton.left),
                                cancelLeft + buttonWidth + twipsToPixelsX(this, kTextBox.left));
    // Wide enough for the prompt on one line, up to twice the drawn width; past that it wraps.
    const int designedWidth = twipsToPixelsX(this, kTextBox.width);
    const int promptWidth =
        prompt.empty() ? 0
                       : std::min(2 * designedWidth,
                                  m_prompt->fontMetrics().horizontalAdvance(m_prompt->text()) + 2);
    // The box also reaches as far past OK as drawn.
    const int boxWidth = std::max({designedWidth, promptWidth,
                                   okLeft + buttonWidth +
                                       twipsToPixelsX(this, kTextBox.left + kTextBox.width -
                                                                kOkButton.left - kOkButton.width) -
                                       left});
    const int boxHeight =
        std::max({twipsToPixelsY(this, kTextBox.height), txtPassPhrase->sizeHint().height(),
                  cboPassPhrase->sizeHint().height()});

    int top = twipsToPixelsY(this, kTextBox.top);
    if (!prompt.empty()) {
        const int promptHeight = m_prompt->heightForWidth(boxWidth);
        m_prompt->setGeometry(left, top, boxWidth, promptHeight);
        top += promptHeight + twipsToPixelsY(this, kPromptGap);
    }
    txtPassPhrase->setGeometry(left, top, boxWidth, boxHeight);
    cboPassPhrase->setGeometry(left, top, boxWidth, boxHeight);
    top += boxHeight + twipsToPixelsY(this, kCancelButton.top - kTextBox.top - kTextBox.height);
    cmdCancel->setGeometry(cancelLeft, top, buttonWidth, buttonHeight);
    cmdExit->setGeometry(okLeft, top, buttonWidth, buttonHeight);
    top += buttonHeight + twipsToPixelsY(this, kInnerHeight - kOkButton.top - kOkButton.height);
    setFixedSize(std::max(twipsToPixelsX(this, kInnerWidth), 2 * left + boxWidth), top);
}

std::optional<std::u16string> fomPassPhrase::InputPass(std::u16string_view prompt)
{
    showPrompt(prompt);
    cboPassPhrase->hide();
    txtPassPhrase->show();
    txtPassPhrase->setFocus();
    m_userList = nullptr;
    return ask();
}

std::optional<std::u16string> fomPassPhrase::InputId(std::u16string_view prompt,
                                                     UserListSlots& UserList)
{
    showPrompt(prompt);
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
    return ask();
}

std::optional<std::u16string> fomPassPhrase::ask()
{
    Form_Load();
    pgp::wipeString(m_value);
    exec();
    clearTypedText();
    std::optional<std::u16string> value;
    if (m_result == 0)
        value = m_value;
    pgp::wipeString(m_value);
    return value;
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

std::optional<std::u16string> InputPass(std::u16string_view prompt, QWidget* parent)
{
    fomPassPhrase dialog(parent);
    return dialog.InputPass(prompt);
}

std::optional<std::u16string> InputId(std::u16string_view prompt, UserListSlots& UserList,
                                      QWidget* parent)
{
    fomPassPhrase dialog(parent);
    return dialog.InputId(prompt, UserList);
}

} // namespace kestrova::pgpui
