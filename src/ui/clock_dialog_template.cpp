#include "dialog_templates.h"
#include "resource_script.h"

namespace chronvane {

const DialogTemplate& clockDialogTemplate() {
    return programResourceScript().dialogs.at(IDD_CHRONVANE32_DIALOG).layout;
}

}  // namespace chronvane
