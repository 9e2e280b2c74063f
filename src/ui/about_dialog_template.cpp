#include "dialog_templates.h"

#include "chronvane32_version.h"

namespace chronvane {

const DialogTemplate& aboutDialogTemplate() {
    using enum ControlKind;
    static const DialogTemplate dialog{
        "About Chronvane32",
        235,
        199,
        {
            {0, Icon, "programIcon", "", 11, 17, 21, 20, false},
            {0, Label, "versionLabel", "Chronvane32 Version " CHRONVANE32_VERSION, 40, 10, 119, 8,
             true},
            {0, Label, "makerLabel", "Made by the Chronvane32 developers", 40, 23, 126, 8, true},
            {okButtonId, DefaultButton, "okButton", "OK", 178, 7, 50, 14, true},
            {0, Label, "authorLabel", "Written by the Chronvane32 authors", 40, 36, 127, 11, true},
            {helpButtonId, PushButton, "helpButton", "<< Help", 178, 34, 50, 14, false},
            {0, GroupBox, "helpSeparator", "", 7, 54, 221, 5, false},
            {0, Label, "helpIntro",
             "Chronvane32 transmits time-of-day information once per second to a serial port.  "
             "The messages typically go to an Ostrel show controller, where they place the time "
             "into a group of state variables:  ",
             7, 65, 221, 24, true},
            {0, Label, "varMonth", "Var26 - Month [1-12]", 22, 95, 66, 8, true},
            {0, Label, "varDay", "Var27 - Day [1-31]", 22, 103, 58, 8, true},
            {0, Label, "varDayOfWeek", "Var28 - Day of Week [1-7]", 22, 111, 84, 8, true},
            {0, Label, "varHour", "Var29 - Hour [0-23]", 129, 95, 61, 8, true},
            {0, Label, "varMinute", "Var30 - Minute [0-59]", 129, 103, 67, 8, true},
            {0, Label, "varSecond", "Var31 - Second [0-59]", 129, 111, 70, 8, true},
            {0, Label, "ostrelOnlyNote", "(Ostrel 8-bit protocol only)", 22, 119, 82, 8, true},
            {0, Label, "eitherProtocolNote", "(ESE or Ostrel protocol)", 129, 119, 76, 8, true},
            {0, Label, "helpOptions",
             "You may specify the initial COM port with command line arguments -com1, -com2, "
             "-com3, or -com4.  Use -ostrel8 to override the default ESE protocol, and -min to "
             "minimize the application upon startup.",
             7, 139, 221, 24, true},
            {0, Label, "helpLine",
             "Chronvane32 operates at 9600 baud, no parity, eight data bits, one stop bit.  It is "
             "designed for Windows 95, 98, and NT platforms.",
             7, 169, 221, 17, true},
        },
    };
    return dialog;
}

}  // namespace chronvane
