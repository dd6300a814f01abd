#include "shell/undoslot.h"

#include <QPushButton>

namespace kestrova::shell {

namespace {

std::size_t slotIndex(UndoCommand command) { return static_cast<std::size_t>(command); }

} // namespace

QString UndoSlot::normalCaption(UndoCommand command)
{
    switch (command) {
    case UndoCommand::Update:
        return QStringLiteral("そろえる(&S)");
    case UndoCommand::PgpCheck:
        return QStringLiteral("復号化");
    case UndoCommand::PgpSign:
        return QStringLiteral("署名");
    case UndoCommand::PgpCript:
        return QStringLiteral("暗号化");
    case UndoCommand::PgpPubKey:
        return QStringLiteral("公開鍵");
    case UndoCommand::PgpFingerPrint:
        return QStringLiteral("指紋");
    case UndoCommand::HanToZen:
        return QStringLiteral("ｶﾅ>カナ");
    case UndoCommand::None:
        break;
    }
    return {};
}

QString UndoSlot::undoCaption(UndoCommand command)
{
    // Only the align button's undo has an access key: Alt+S and Alt+U are the pair people use.
    if (command == UndoCommand::Update)
        return QStringLiteral("元に戻す(&U)");
    return command == UndoCommand::None ? QString() : QStringLiteral("元に戻す");
}

void UndoSlot::setHolder(UndoCommand command, QPushButton* button)
{
    m_holders[slotIndex(command)] = button;
    m_spokenNames[slotIndex(command)] = button->accessibleName();
}

UndoSlot::Pending UndoSlot::begin(UndoCommand command, std::u16string before) const
{
    return Pending{command, std::move(before), m_generation};
}

void UndoSlot::offer(const Pending& pending)
{
    m_undoText = pending.before;
    m_undoCmd = pending.command;
    ++m_generation;
    if (QPushButton* holder = m_holders[slotIndex(m_undoCmd)]) {
        holder->setText(undoCaption(m_undoCmd));
        holder->setAccessibleName(QStringLiteral("元に戻す"));
    }
}

void UndoSlot::CmdPrint()
{
    if (m_undoCmd == UndoCommand::None)
        return;
    if (QPushButton* holder = m_holders[slotIndex(m_undoCmd)]) {
        holder->setText(normalCaption(m_undoCmd));
        holder->setAccessibleName(m_spokenNames[slotIndex(m_undoCmd)]);
    }
}

void UndoSlot::clear()
{
    CmdPrint();
    m_undoCmd = UndoCommand::None;
    ++m_generation;
}

} // namespace kestrova::shell
