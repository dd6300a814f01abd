// The open and save dialog object, clsComDlg, over Qt's file dialog.
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>

class QFileDialog;

namespace kestrova::platform {

// The open-file dialog option bits the callers pass in Flags; the others have no meaning here.
inline constexpr std::int32_t kOfnOverwritePrompt = 0x2;
inline constexpr std::int32_t kOfnHideReadOnly = 0x4;
inline constexpr std::int32_t kOfnPathMustExist = 0x800;
inline constexpr std::int32_t kOfnFileMustExist = 0x1000;
inline constexpr std::int32_t kOfnExplorer = 0x80000;
inline constexpr std::int32_t kOfnLongNames = 0x200000;

inline constexpr std::int32_t kOpenDialogFlags =
    kOfnHideReadOnly | kOfnFileMustExist | kOfnExplorer | kOfnLongNames; // 2625540
inline constexpr std::int32_t kSaveDialogFlags =
    kOfnHideReadOnly | kOfnPathMustExist | kOfnExplorer | kOfnLongNames; // 2623492

// The values of Action.
inline constexpr int kOpenAction = 1;
inline constexpr int kSaveAction = 2;

// The caller fills the fields, then sets Action: 1 shows the open dialog, 2 the save dialog.
// Afterwards FileName holds the chosen file's absolute path, or is empty when the user
// cancelled; FilterIndex follows the user's choice of type only when a file was chosen.
class clsComDlg
{
public:
    QString DialogTitle;
    QString Filter;         // "description|pattern|description|pattern…"
    std::int32_t Flags = 0; // kOfn… bits
    QPointer<QWidget> OwnerhWnd;
    QString FileName;             // in: proposed file (its folder is the starting folder)
    std::int32_t FilterIndex = 1; // 1-based

    void Action(int new_Action);

private:
    QString ShowFileDialog(int kind);
};

// Qt's name filters for a Filter text: "description (patterns)" per pair, ";" between patterns
// turned into blanks and "*.*" into "*", since on Linux a name need not hold a dot.
[[nodiscard]] QStringList nameFiltersOf(const QString& filter);

} // namespace kestrova::platform
