// The pass-phrase dialog, fomPassPhrase: one pass phrase in a masked box, or one user ID from
// an editable list of the recently used ones.
#pragma once

#include "settings/settingsfile.h"

#include <QDialog>

#include <array>
#include <string>
#include <string_view>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace kestrova::pgpui {

using UserListSlots = std::array<std::u16string, settings::kUserListSlots>;

class fomPassPhrase : public QDialog
{
    Q_OBJECT

public:
    explicit fomPassPhrase(QWidget* parent = nullptr);
    ~fomPassPhrase() override;

    // Asks for a pass phrase with prompt as the caption. result: 0 confirmed with OK, -1 not
    // confirmed (value is empty then).
    void InputPass(std::u16string& value, std::u16string_view prompt, int& result);
    // Asks for a user ID, offering the IDs of UserList; OK puts the chosen one in front of
    // the list.
    void InputId(std::u16string& value, std::u16string_view prompt, int& result,
                 UserListSlots& UserList);

private slots:
    void cmdExit_Click();
    void cmdCancel_Click();

private:
    friend class PassPhraseTestAccess;

    void Form_Load();
    // Shows the dialog modally and hands back what it gave, clearing its own copy.
    void ask(std::u16string& value, int& result);
    // Empties the masked box so that the pass phrase stays in no widget of ours.
    void clearTypedText();

    QLineEdit* txtPassPhrase = nullptr;
    QComboBox* cboPassPhrase = nullptr;
    QPushButton* cmdExit = nullptr;
    QPushButton* cmdCancel = nullptr;

    std::u16string m_value; // the entered value
    int m_result = -1;      // -1 not confirmed, 0 OK
    UserListSlots* m_userList = nullptr;
};

// fomPassPhrase as the runner calls it: a dialog of its own for each question.
void InputPass(std::u16string& value, std::u16string_view prompt, int& result, QWidget* parent);
void InputId(std::u16string& value, std::u16string_view prompt, int& result,
             UserListSlots& UserList, QWidget* parent);

} // namespace kestrova::pgpui
