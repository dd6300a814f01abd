#include "platform/clipsave.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace kestrova::platform {

namespace {

const QString kRtf = QStringLiteral("text/rtf");
const QString kApplicationRtf = QStringLiteral("application/rtf");

} // namespace

ClipboardCopy SaveClipboard()
{
    ClipboardCopy copy;
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText())
        return copy;
    copy.hasText = true;
    copy.text = data->text();
    copy.hasRtf = data->hasFormat(kRtf);
    if (copy.hasRtf)
        copy.rtf = data->data(kRtf);
    copy.hasApplicationRtf = data->hasFormat(kApplicationRtf);
    if (copy.hasApplicationRtf)
        copy.applicationRtf = data->data(kApplicationRtf);
    return copy;
}

void RestoreClipboard(const ClipboardCopy& copy)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    if (!copy.hasText)
        return;
    auto* data = new QMimeData; // the clipboard takes it over
    data->setText(copy.text);
    if (copy.hasRtf)
        data->setData(kRtf, copy.rtf);
    if (copy.hasApplicationRtf)
        data->setData(kApplicationRtf, copy.applicationRtf);
    clipboard->setMimeData(data);
}

} // namespace kestrova::platform
