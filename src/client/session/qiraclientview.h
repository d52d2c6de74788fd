#pragma once

// What the main data module needs of the main window, and nothing more: windows
// implement it, tests may use a small fake.
class TQiraClientView
{
public:
    virtual ~TQiraClientView() = default;
    // Shows or hides the error panel with its splitter.
    virtual void ShowMess(bool visible) = 0;
};
