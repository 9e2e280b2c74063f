#include <QFile>
#include <QtGlobal>

#include "chronvane32_version.h"
#include "program_dialogs.h"
#include "resource.h"
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
    // The script includes the version header the build makes; its one definition is
    // compiled into this program too.
    const QByteArray header = builtInFile(":/resources/resource.h") +
                              "\n#define CHRONVANE32_VERSION \"" CHRONVANE32_VERSION "\"\n";
    const QByteArray script = builtInFile(":/resources/chronvane32.rc");
    Parsed<ResourceScript> result = parseResourceScript(
        std::string_view(header.constData(), static_cast<std::size_t>(header.size())),
        std::string_view(script.constData(), static_cast<std::size_t>(script.size())));
    if (!result.value || !result.value->dialogs.contains(IDD_ABOUTBOX) ||
        !result.value->dialogs.contains(IDD_CHRONVANE32_DIALOG) ||
        !result.value->strings.contains(IDS_ABOUTBOX)) {
        qFatal("The program's dialog layouts do not read: chronvane32.rc %s",
               result.error.empty() ? "lacks a dialog or the menu string" : result.error.c_str());
    }
    return std::move(*result.value);
}

int findHelpPaneTop() {
    for (const ControlTemplate& control : aboutDialogTemplate().controls) {
        if (std::string_view(control.objectName) == "helpSeparator") {
            return control.y;
        }
    }
    qFatal("The program's About box has no helpSeparator to fold its help pane at");
}

}  // namespace

const ResourceScript& programResourceScript() {
    static const ResourceScript script = readProgramResourceScript();
    return script;
}

const DialogTemplate& clockDialogTemplate() {
    return programResourceScript().dialogs.at(IDD_CHRONVANE32_DIALOG).layout;
}

const DialogTemplate& aboutDialogTemplate() {
    return programResourceScript().dialogs.at(IDD_ABOUTBOX).layout;
}

int helpPaneTop() {
    static const int top = findHelpPaneTop();
    return top;
}

const std::string& aboutMenuText() {
    return programResourceScript().strings.at(IDS_ABOUTBOX);
}

}  // namespace chronvane
