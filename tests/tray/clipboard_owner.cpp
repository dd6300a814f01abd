// Holds the clipboard with a plain text and an RTF text, as a word processor does after a copy,
// until it is ended: the user's own clipboard in the end-to-end tests, which xclip cannot offer
// (it serves one format at a time).
//
//     clipboard_owner TEXT RTF
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <cstdio>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: clipboard_owner TEXT RTF\n", stderr);
        return 2;
    }
    auto* data = new QMimeData;
    data->setText(QString::fromUtf8(argv[1]));
    data->setData(QStringLiteral("text/rtf"), QByteArray(argv[2]));
    QGuiApplication::clipboard()->setMimeData(data);
    return QGuiApplication::exec();
}
