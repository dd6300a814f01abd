#include "shell/gitfiles.h"

#include "platform/qtext.h"

#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#include <array>

namespace kestrova::shell {

namespace {

// git's own reading of a config value takes a moment; a git that hangs must not keep the
// window from opening.
constexpr int kGitMs = 10000;

// The characters git chooses from for core.commentChar=auto, in its order.
constexpr std::u16string_view kAutoCandidates = u"#;@!$%^&|:";

std::u16string autoCommentChar(std::u16string_view text)
{
    std::u16string found = u"#";
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(u"\r\n", start);
        if (end == std::u16string_view::npos)
            end = text.size();
        if (end > start && kAutoCandidates.find(text[start]) != std::u16string_view::npos)
            found.assign(1, text[start]);
        start = end + 2;
    }
    return found;
}

} // namespace

bool isGitEditorFile(const QString& path)
{
    static const std::array kNames{
        QStringLiteral("COMMIT_EDITMSG"),  QStringLiteral("MERGE_MSG"),
        QStringLiteral("TAG_EDITMSG"),     QStringLiteral("SQUASH_MSG"),
        QStringLiteral("NOTES_EDITMSG"),   QStringLiteral("EDIT_DESCRIPTION"),
        QStringLiteral("git-rebase-todo"), QStringLiteral("addp-hunk-edit.diff")};
    const QString name = QFileInfo(path).fileName();
    for (const QString& known : kNames) {
        if (name == known)
            return true;
    }
    return false;
}

std::u16string gitCommentChar(const QString& path, std::u16string_view text)
{
    QProcess git;
    git.setWorkingDirectory(QFileInfo(path).absolutePath());
    git.setProcessChannelMode(QProcess::SeparateChannels);
    git.start(QStringLiteral("git"),
              {QStringLiteral("config"), QStringLiteral("core.commentChar")});
    QString value;
    if (git.waitForFinished(kGitMs) && git.exitStatus() == QProcess::NormalExit &&
        git.exitCode() == 0)
        value = QString::fromUtf8(git.readAllStandardOutput()).trimmed();
    else if (git.state() != QProcess::NotRunning)
        git.kill(); // not set, or no git: git's own default
    if (value == QLatin1String("auto"))
        return autoCommentChar(text);
    if (value.isEmpty())
        return u"#";
    return platform::toU16(value);
}

} // namespace kestrova::shell
