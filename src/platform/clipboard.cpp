#include "platform/clipboard.h"

#include "engine/cp932.h"
#include "io/jis2sjis.h"
#include "platform/messages.h"
#include "platform/qtext.h"

#include <QClipboard>
#include <QGuiApplication>

#include <optional>

namespace kestrova::platform {

namespace {

using engine::cp932Code;
using engine::nextCodePoint;

constexpr char16_t kEsc = 0x1B;
constexpr char16_t kSo = 0x0E;
constexpr char16_t kSi = 0x0F;
constexpr char16_t kEndOfFile = 0x1A;

constexpr int kAsciiState = 0;
constexpr int kKanjiState = 1;
constexpr int kKanaState = 2;

std::u16string toCrLf(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\r') {
            out += u"\r\n";
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else if (c == u'\n') {
            out += u"\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

// The state a JIS text starts in, decided as the code detection decides it by the first
// designation, return or shift it meets; empty when the text has none and so is no JIS.
std::optional<int> jisStartState(std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == kSo)
            return kKanaState;
        if (c == kSi)
            return kAsciiState;
        if (c != kEsc || i + 2 >= text.size())
            continue;
        const char16_t b1 = text[i + 1];
        const char16_t b2 = text[i + 2];
        if (b1 == u'$' && (b2 == u'B' || b2 == u'@'))
            return kAsciiState; // a designation first: the text begins in ASCII
        if (b1 == u'(' && b2 == u'I')
            return kAsciiState;
        if (b1 == u'(' && (b2 == u'B' || b2 == u'J'))
            return kKanjiState; // a return to ASCII first: it begins inside kanji
    }
    return std::nullopt;
}

// The state JIS bytes leave the decoder in, given the state they start in.
int jisEndState(const io::ByteBuffer& bytes, int state)
{
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::uint8_t b = bytes[i];
        if (b == kSo) {
            state = kKanaState;
        } else if (b == kSi) {
            state = kAsciiState;
        } else if (b == kEsc && i + 2 < bytes.size()) {
            if (bytes[i + 1] == '$')
                state = kKanjiState;
            else if (bytes[i + 1] == '(')
                state = bytes[i + 2] == 'I' ? kKanaState : kAsciiState;
        }
    }
    return state;
}

// JIS text to text, run by run: the characters with a code page 932 form go through the JIS
// decoder in the state the run before left it in, the others are kept as they are. Empty when
// the result would not be code page 932 text.
std::optional<std::u16string> convertJis(std::u16string_view text, int state)
{
    std::u16string out;
    out.reserve(text.size());
    io::ByteBuffer run;
    const auto flush = [&]() -> bool {
        if (run.empty())
            return true;
        const int next = jisEndState(run, state);
        io::JisToSjis(run, state);
        state = next;
        const std::string_view bytes(reinterpret_cast<const char*>(run.data()), run.size());
        auto decoded = engine::fromCp932(bytes);
        run.clear();
        if (!decoded)
            return false;
        out += *decoded;
        return true;
    };
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t start = i;
        const char32_t cp = nextCodePoint(text, i);
        const auto code = cp932Code(cp);
        // The variants cp932Code folds (U+301C and the like) are not JIS bytes: kept as well.
        if (code && cp < 0x80) {
            run.push_back(static_cast<std::uint8_t>(*code));
            continue;
        }
        if (code && engine::cp932Char(*code) == cp) {
            if (*code > 0xFF)
                run.push_back(static_cast<std::uint8_t>(*code >> 8));
            run.push_back(static_cast<std::uint8_t>(*code & 0xFF));
            continue;
        }
        if (!flush())
            return std::nullopt;
        out.append(text.substr(start, i - start));
    }
    if (!flush())
        return std::nullopt;
    return out;
}

int byteWidth(char32_t cp)
{
    if (const auto code = cp932Code(cp))
        return *code > 0xFF ? 2 : 1;
    return engine::charWidth(cp);
}

} // namespace

ClipboardIntake takeClipboardText(std::u16string_view text, int convMode)
{
    ClipboardIntake intake;
    if (convMode != 1) {
        intake.text = toCrLf(text);
        return intake;
    }

    std::size_t bytes = 0;
    std::size_t cut = text.size();
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t at = i;
        bytes += static_cast<std::size_t>(byteWidth(nextCodePoint(text, i)));
        if (bytes > static_cast<std::size_t>(kClipboardByteLimit) && cut == text.size())
            cut = at; // a character across the limit goes with the rest
    }
    if (bytes > static_cast<std::size_t>(kClipboardByteLimit)) {
        intake.keptPercent = static_cast<int>(3276700 / bytes);
        text = text.substr(0, cut);
    }

    const bool jisMarks = text.find_first_of(u"\x1B\x0E\x0F") != std::u16string_view::npos;
    if (jisMarks) {
        if (const auto state = jisStartState(text)) {
            if (auto converted = convertJis(text, *state)) {
                if (!converted->empty() && converted->back() == kEndOfFile)
                    converted->pop_back();
                intake.text = toCrLf(*converted);
                intake.converted = true;
                return intake;
            }
        }
    }
    intake.text = toCrLf(text);
    return intake;
}

std::u16string clipboardText()
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return {}; // no clipboard reads as an empty one
    return toU16(clipboard->text(QClipboard::Clipboard));
}

void putOnClipboard(std::u16string_view text)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    QString plain = toQString(text);
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // setText replaces every format at once; clearing first would only tell clipboard
    // managers and other watchers of a change twice.
    clipboard->setText(plain, QClipboard::Clipboard);
}

void clearClipboard()
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->clear(QClipboard::Clipboard);
}

QString sizeMessage(int percent, const QString& ending)
{
    return QStringLiteral("ｻｲｽﾞが大きいので ") + QString::number(percent) + ending;
}

std::u16string ReadClipboard(int convMode, QWidget* parent)
{
    ClipboardIntake intake = takeClipboardText(clipboardText(), convMode);
    if (intake.keptPercent > 0)
        showLimitMessage(parent,
                         sizeMessage(intake.keptPercent, QStringLiteral("％しか読みこめません")));
    return std::move(intake.text);
}

} // namespace kestrova::platform
