// The window's side of kestrova-tray: PgpTrayRun hands a text over the clipboard and the
// tray's socket and takes the result back, keeping the user's clipboard aside meanwhile.
//
// Text is UTF-16 with CR LF line ends, as the main text box gives it. While a call waits for
// the tray the window's events go on; the caller keeps every control that could start another
// command disabled meanwhile.
#pragma once

#include "pgp/batch.h"

#include <QString>

#include <chrono>
#include <string>
#include <string_view>

class QLocalSocket;
class QWidget;

namespace kestrova::pgpui {

// How long and how visibly a call waits for the tray's answer.
struct TrayWait
{
    // A person may be typing a pass phrase or choosing recipients in the tray meanwhile.
    std::chrono::milliseconds timeLimit{std::chrono::minutes(10)};
    std::chrono::milliseconds progressDelay{400}; // then a progress window with "中止"
    const bool* stopRequested = nullptr;          // set by the window to stop waiting
    QString socketPath;                           // empty: the user's tray socket
};

// Asks the tray on the connected socket to raise its dialogs above other windows; false when
// it did not answer so.
bool SetTopMost(QLocalSocket& tray, const TrayWait& wait);

// Sends the tray command id and waits for its answer: Done when the tray answered 0,
// Cancelled for any other answer, a stop or the time limit, TrayMissing (after the message
// "PGPtrayが起動していません。") when no tray listens.
pgp::PgpResult PgpTraySend(int id, int viewMini, QWidget* parent, const TrayWait& wait = {});

// Runs word on text through the tray of generation version (1 or 2); on Done the text holds
// the result. Of the settings it reads EncryptMode, JisConvMode, ViewMini and ConvMode. The
// user's clipboard (plain text and RTF) is given back in every case.
pgp::PgpResult PgpTrayRun(int version, std::string_view word, std::u16string& text,
                          const pgp::PgpSettings& settings, QWidget* parent,
                          const TrayWait& wait = {});

} // namespace kestrova::pgpui
