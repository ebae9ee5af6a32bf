// Where the controls put their labels: the room a label has inside its control. The controls
// draw with these, and the label checks of the program's screens measure against them.
#pragma once

namespace ce::controls::layout {

// A check box: the square glyph at the left, the label after a gap.
constexpr int kCheckBoxSize = 13;
constexpr int kCheckGap = 4;

// A push button: the label centred inside the 3-D edge on each side.
constexpr int kPushEdge = 2;

// A drop-down list: the selected entry from the field's left inset to the drop button.
constexpr int kComboButtonWidth = 13;
constexpr int kComboTextLeft = 3;

}  // namespace ce::controls::layout
