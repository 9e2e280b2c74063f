#include "dialog_templates.h"

namespace chronvane {

const DialogTemplate& clockDialogTemplate() {
    using enum ControlKind;
    static const DialogTemplate dialog{
        "Chronvane32",
        230,
        114,
        {
            {0, GroupBox, "portGroup", "Serial Port", 119, 7, 104, 43, false},
            {com1RadioId, RadioButton, "com1Radio", "COM1", 131, 20, 36, 10, true},
            {com2RadioId, RadioButton, "com2Radio", "COM2", 131, 33, 36, 10, false},
            {com3RadioId, RadioButton, "com3Radio", "COM3", 177, 20, 36, 10, false},
            {com4RadioId, RadioButton, "com4Radio", "COM4", 177, 33, 36, 10, false},
            {0, GroupBox, "protocolGroup", "Message Protocol", 7, 7, 104, 43, false},
            {eseRadioId, RadioButton, "eseRadio", "ESE Real Time Clock", 17, 20, 84, 10, true},
            {ostrelRadioId, RadioButton, "ostrelRadio", "Ostrel 8-bit Date/Time", 17, 33, 87, 10,
             false},
            {0, GroupBox, "logGroup", "Message Log", 7, 54, 216, 53, false},
            {logLine1Id, Label, "logLine1", "Line1", 13, 65, 204, 8, true},
            {logLine1Id + 1, Label, "logLine2", "Line2", 13, 75, 204, 8, true},
            {logLine1Id + 2, Label, "logLine3", "Line3", 13, 85, 204, 8, true},
            {logLine1Id + 3, Label, "logLine4", "Line4", 13, 95, 204, 8, true},
        },
    };
    return dialog;
}

}  // namespace chronvane
