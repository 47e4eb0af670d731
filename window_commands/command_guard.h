#pragma once

#include <optional>
#include <string>

#include "window_commands/commands.h"

namespace plimbrook::command_guard {

// How a command ends early: the user cancelled, or was told why the input will not do.
struct Cancelled {};
struct Refused {};

// Tells the user why the input will not do, then ends the command.
[[noreturn]] void refuse(Dialogs& dialogs, const std::string& text);

// The path a prompt gave; a cancelled prompt ends the command.
std::string chosen(std::optional<std::string> path);

// The one failure guard of a command. Whatever ends it early, an output not yet committed is
// thrown away here, so the user's file is never left half-written.
template <typename Body>
Outcome guarded(FileChannels& channels, Body body) {
    Outcome outcome;
    try {
        body();
        return outcome;
    } catch (const Cancelled&) {
        outcome.kind = Outcome::Kind::Cancelled;
    } catch (const Refused&) {
        outcome.kind = Outcome::Kind::Refused;
    } catch (const FileError& error) {
        outcome.kind = Outcome::Kind::Failed;
        outcome.error = error;
    } catch (const std::exception&) {
        outcome.kind = Outcome::Kind::Failed;
    }
    channels.closeOutput();
    return outcome;
}

}  // namespace plimbrook::command_guard
