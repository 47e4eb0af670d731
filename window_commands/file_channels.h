#pragma once

#include <memory>

#include "core/files/file_access.h"

namespace plimbrook {

// The three open-file slots that the main window owns and its commands share. Each command
// closes the channels it is about to use before it starts, so a command that was abandoned
// keeps its inputs open only until the next one.
struct FileChannels {
    std::unique_ptr<InputFile> input;           // channel 1: the save or BBD file read
    std::unique_ptr<InputFile> headerTemplate;  // channel 2: the header template
    std::unique_ptr<ReplacementFile> output;    // channel 3: the file written

    // Closing a channel that is not open does nothing. Closing an output that was never
    // committed throws the new contents away.
    void closeInput() { input.reset(); }
    void closeTemplate() { headerTemplate.reset(); }
    void closeOutput() { output.reset(); }
    void closeAll() {
        closeInput();
        closeTemplate();
        closeOutput();
    }
};

}  // namespace plimbrook
