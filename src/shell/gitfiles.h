// The files git hands its editor (a commit message, a tag's, a rebase's list…) and git's comment
// character for them: plug-in mode leaves git's own lines in them as they are.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace kestrova::shell {

// path is one of the files git writes for its editor, recognised by name.
[[nodiscard]] bool isGitEditorFile(const QString& path);

// core.commentChar as git reads it in the folder of path, "#" when it is not set or git cannot
// say. With "auto" git chose a character the message does not use: the one that begins the last
// of git's own lines in text.
[[nodiscard]] std::u16string gitCommentChar(const QString& path, std::u16string_view text);

} // namespace kestrova::shell
