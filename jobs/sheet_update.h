// Bringing a contact sheet up to date from the cell table it carries: only the cells whose pictures
// changed are made again, and the result is the sheet a full run over the same pictures would write.
#pragma once

#include <string>
#include <vector>

#include "jobs/contact_sheet.h"
#include "jobs/sheet_table.h"

struct SheetUpdateRequest {
    std::string sheet;               // the sheet's JPEG file
    std::vector<std::string> added;  // pictures to place after the sheet's own (paths as given)
};

struct SheetUpdateResult {
    enum class Outcome { UpToDate, Patched, Rebuilt } outcome = Outcome::UpToDate;
    std::vector<std::string> changed;  // names of the table whose pictures changed
    std::vector<std::string> gone;     // names whose pictures are missing
    int thumbnailsMade = 0;            // pictures loaded again
    SheetWritten written{};            // the sheet and index written (not for UpToDate)
};

// The state of every cell of a table against the pictures beside the sheet (sheetPath names the sheet,
// the table's names are relative to its folder), in table order.
std::vector<PictureState> CheckSheetCells(const std::string& sheetPath, const SheetTable& table);

// Updates the sheet and its index file in place:
// - nothing changed and nothing added: both files are left untouched;
// - only changed pictures: those cells, and the cells that share a JPEG block with them, are made
//   again; the sheet's compressed blocks that meet them are replaced and every other block is kept
//   as it was, so the sheet equals a full run's block for block;
// - a picture gone, or pictures added: the layout of a full run differs (cells move up), so the sheet is
//   built again from the pictures that remain (and the added ones), as a full run builds it.
// Refused (LumoError, module "Mosaic"): a file without a table; one sheet of a run that filled several
// (its cells cannot move to or from the other sheets); a run that stops at a picture.
SheetUpdateResult UpdateContactSheet(const SheetUpdateRequest& request);
