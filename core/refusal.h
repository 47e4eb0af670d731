#pragma once

namespace plimbrook {

// Why a file is not converted. The words for each are in info_words.h, so that the window, the
// command line and the page give the same reason that info does.
enum class Refusal {
    EmptyFile,          // no bytes at all, or a compressed save that unpacks to none
    TooLarge,           // a save of more than the copier holds, compressed or not
    DamagedCompressed,  // a RetroArch-compressed save that is corrupt or cut short
    DamagedRetron5,     // a Retron 5 save whose header, data or CRC-32 is wrong
    NotGameDoctorSize,  // read as a Game Doctor save, but not of its 32 KiB
    CopierFileAsSave,   // given as a save, but a copier's file
    SaveAsCopierFile,   // given as a copier file, but a save, raw or packed
};

}  // namespace plimbrook
