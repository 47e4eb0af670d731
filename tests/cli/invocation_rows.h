#pragma once

#include <QByteArray>

#include "tests/cli/golden_scene.h"

// The invocations table's rows, in groups: each adds rows of args, out, err, status and the
// files written, in the order the table runs them.
namespace plimbrook::testing::golden {

// What most rows expect a conversion to write: a save with the comment the program starts with.
struct Expected {
    QByteArray defaultText = "Enter a Comment and stuff.";
    QByteArray gameBbd = bbd(stuffDat(), gameSave(), defaultText);
    QByteArray bigBbd = bbdHolding(bigSave(), defaultText);
    QByteArray midBbd = bbdHolding(midSave(), defaultText);
};

void addConversionRows(const Expected& expected);
void addSaveSizeRows(const Expected& expected);
void addInfoRows();
void addOtherCopierRows();
void addFailingFileRows(const Expected& expected);
void addWrongCommandLineRows(const Expected& expected);

}  // namespace plimbrook::testing::golden
