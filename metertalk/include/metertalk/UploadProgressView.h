#pragma once

#include <string>

// What the engine does with the upload progress display. The program shows a dialog of its own,
// the command-line program a text bar, tests record the calls.
class UploadProgressView {
public:
    virtual ~UploadProgressView() = default;
    // The bar runs from 0 to maximum (0 to 65535).
    virtual void SetRange(int maximum) = 0;
    virtual void SetPosition(int position) = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
};
