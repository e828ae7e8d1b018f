#pragma once

#include <functional>

class QLabel;
class TImageButton;

// Makes a tool button's caption label part of its button: the pointer
// entering or leaving the label, and any mouse button pressed or released on
// it, reach the button as the left button at the button's top-left corner.
// So the pair hovers, presses and clicks as one control, and the label of a
// disabled button clicks nothing.
void forwardLabelToButton(QLabel& label, TImageButton& button);

// Runs onClick when the label is clicked with the left button.
void onLabelClick(QLabel& label, std::function<void()> onClick);
