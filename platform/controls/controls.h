// The platform's controls: the system classes of the window system and the common controls.
#pragma once

namespace ce::controls {

// Registers "BUTTON", "STATIC", "EDIT", "LISTBOX", "COMBOBOX" (and the combo box's list,
// "ComboLBox"). The window system calls it when it starts on a device (register.cpp hands it to
// gwes::addClassProvider).
void registerSystemClasses();
// Registers the common control classes: "SysTabControl32", "msctls_trackbar32",
// "SysTreeView32". InitCommonControls and InitCommonControlsEx call it.
void registerCommonClasses();

// One class each (used by the two above).
void registerButtonClass();
void registerStaticClass();
void registerEditClass();
void registerListBoxClass();
void registerComboBoxClass();
void registerTrackbarClass();
void registerTabClass();
void registerTreeViewClass();

}  // namespace ce::controls
