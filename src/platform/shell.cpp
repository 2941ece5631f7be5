#include "platform/shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <cstdlib>

namespace platform {

namespace {

ShellRecorder& Recorder() {
    static ShellRecorder recorder;
    return recorder;
}

}  // namespace

void SetShellRecorder(ShellRecorder recorder) {
    Recorder() = std::move(recorder);
}

bool OpenWithShell(const std::string& path) {
    if (Recorder()) return Recorder()({ShellCall::Kind::Open, path, {}});
    // An absolute path goes over as its bytes, percent-encoded: a QString would change a name
    // that is not UTF-8.
    if (!path.empty() && path[0] == '/') {
        return QDesktopServices::openUrl(
            QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/")));
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

bool StartProgram(const std::string& program, const std::vector<std::string>& arguments) {
    if (Recorder()) return Recorder()({ShellCall::Kind::Start, program, arguments});
    QStringList list;
    for (const std::string& argument : arguments) list << QString::fromStdString(argument);
    return QProcess::startDetached(QString::fromStdString(program), list);
}

std::string MailProgram() {
    const char* chosen = std::getenv("QUILLET_MAIL_COMMAND");
    const QString name = chosen && *chosen ? QString::fromLocal8Bit(chosen) : "xdg-email";
    if (name.contains('/')) {
        const QFileInfo file(name);
        return file.isFile() && file.isExecutable() ? name.toStdString() : std::string();
    }
    return QStandardPaths::findExecutable(name).toStdString();
}

bool ComposeMail(const std::string& subject, const std::string& attachment) {
    const std::string program = MailProgram();
    if (program.empty()) return false;
    return StartProgram(program, {"--subject", subject, "--attach", attachment});
}

}  // namespace platform
