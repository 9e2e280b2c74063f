#include <QFile>
#include <QtGlobal>

#include "dialog_templates.h"
#include "resource_script.h"

namespace chronvane {
namespace {

QByteArray builtInFile(const char* path) {
    QFile file(QString::fromUtf8(path));
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("The program is incomplete: %s is missing (%s)", path,
               qPrintable(file.errorString()));
    }
    return file.readAll();
}

ResourceScript readProgramResourceScript() {
    const QByteArray header = builtInFile(":/resources/resource.h");
    const QByteArray script = builtInFile(":/resources/chronvane32.rc");
    ResourceScriptResult result = parseResourceScript(
        std::string_view(header.constData(), static_cast<std::size_t>(header.size())),
        std::string_view(script.constData(), static_cast<std::size_t>(script.size())));
    if (!result.error.empty() || !result.script.dialogs.contains(IDD_ABOUTBOX) ||
        !result.script.dialogs.contains(IDD_CHRONVANE32_DIALOG)) {
        qFatal("The program's dialog layouts do not read: chronvane32.rc %s",
               result.error.empty() ? "lacks a dialog" : result.error.c_str());
    }
    return std::move(result.script);
}

}  // namespace

const ResourceScript& programResourceScript() {
    static const ResourceScript script = readProgramResourceScript();
    return script;
}

const DialogTemplate& aboutDialogTemplate() {
    return programResourceScript().dialogs.at(IDD_ABOUTBOX).layout;
}

}  // namespace chronvane
