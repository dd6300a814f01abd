// The undo slot of the text commands: which command may be undone, the text from before it,
// and the button that holds the offer.
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <string>

class QPushButton;

namespace kestrova::shell {

// The undoable commands, numbered as the settings and captions know them.
enum class UndoCommand
{
    None = 0,
    Update = 1,         // "そろえる(&S)"
    PgpCheck = 2,       // "復号化"
    PgpSign = 3,        // "署名"
    PgpCript = 4,       // "暗号化"
    PgpPubKey = 5,      // "公開鍵"
    PgpFingerPrint = 6, // "指紋"
    HanToZen = 7,       // "ｶﾅ>カナ"
};

class UndoSlot
{
public:
    // A command under way: the text it started from and the slot's state at its start. Its
    // result may arrive later, while the window goes on processing events.
    struct Pending
    {
        UndoCommand command = UndoCommand::None;
        std::u16string before;
        std::uint64_t generation = 0;
    };

    // The button that shows the command's caption and, while it holds the slot, the undo one;
    // its accessible name, set before, is likewise given back when the slot is freed.
    void setHolder(UndoCommand command, QPushButton* button);

    [[nodiscard]] UndoCommand UndoCmd() const { return m_undoCmd; }
    [[nodiscard]] const std::u16string& UndoText() const { return m_undoText; }
    // Pressing the command's button now would undo it.
    [[nodiscard]] bool offers(UndoCommand command) const
    {
        return command != UndoCommand::None && m_undoCmd == command;
    }

    [[nodiscard]] Pending begin(UndoCommand command, std::u16string before) const;
    // The text was changed, read or undone since the command began.
    [[nodiscard]] bool overtaken(const Pending& pending) const
    {
        return pending.generation != m_generation;
    }
    // The command's result replaced the text: its button now offers undo of it.
    void offer(const Pending& pending);

    // Puts the normal caption back on the button that holds the slot; UndoCmd stays.
    void CmdPrint();
    // The text changed: the offer ends.
    void clear();

    [[nodiscard]] static QString normalCaption(UndoCommand command);
    [[nodiscard]] static QString undoCaption(UndoCommand command);

private:
    std::array<QPushButton*, 8> m_holders{};
    std::array<QString, 8> m_spokenNames;
    UndoCommand m_undoCmd = UndoCommand::None;
    std::u16string m_undoText;
    std::uint64_t m_generation = 0;
};

} // namespace kestrova::shell
