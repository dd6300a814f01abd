// The pass-phrase dialog, fomPassPhrase: one pass phrase in a masked box, or one user ID from
// an editable list of the recently used ones.
#pragma once

#include "settings/settingsfile.h"

#include <QDialog>

#include <array>
#include <optional>
#include <string>
#include <string_view>

class QComboBox;
class QLabel;
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

    // Asks for a pass phrase; prompt is the caption and stands above the box as well. Nothing
    // when the dialog was not confirmed with OK.
    [[nodiscard]] std::optional<std::u16string> InputPass(std::u16string_view prompt);
    // Asks for a user ID, offering the IDs of UserList; OK puts the chosen one in front of
    // the list.
    [[nodiscard]] std::optional<std::u16string> InputId(std::u16string_view prompt,
                                                        UserListSlots& UserList);

private slots:
    void cmdExit_Click();
    void cmdCancel_Click();

private:
    friend class PassPhraseTestAccess;

    void Form_Load();
    // Shows prompt in the caption and above the box, and sizes the dialog so that the prompt
    // and every control show whole in the dialog's font.
    void showPrompt(std::u16string_view prompt);
    // Shows the dialog modally and hands back what it gave, clearing its own copy.
    [[nodiscard]] std::optional<std::u16string> ask();
    // Empties the masked box so that the pass phrase stays in no widget of ours.
    void clearTypedText();

    QLabel* m_prompt = nullptr;
    QLineEdit* txtPassPhrase = nullptr;
    QComboBox* cboPassPhrase = nullptr;
    QPushButton* cmdExit = nullptr;
    QPushButton* cmdCancel = nullptr;

    std::u16string m_value; // the entered value
    int m_result = -1;      // -1 not confirmed, 0 OK
    UserListSlots* m_userList = nullptr;
};

// fomPassPhrase as the runner calls it: a dialog of its own for each question, over parent.
[[nodiscard]] std::optional<std::u16string> InputPass(std::u16string_view prompt, QWidget* parent);
[[nodiscard]] std::optional<std::u16string> InputId(std::u16string_view prompt,
                                                    UserListSlots& UserList, QWidget* parent);

} // namespace kestrova::pgpui
