#pragma once

#include <string>

namespace plimbrook {

// The main window's comment box as the commands see it: the start of a new BBD file's comment,
// and where a comment loaded from one goes. The shell's box provides it; tests a scripted
// stand-in. The text is UTF-8.
class CommentField {
public:
    virtual ~CommentField() = default;

    virtual std::string commentText() const = 0;
    virtual void setCommentText(const std::string& text) = 0;
};

}  // namespace plimbrook
