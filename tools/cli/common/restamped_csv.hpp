// SPDX-License-Identifier: MIT
// A CSV export with true UTC times. The library writes its rows, stamped with the meter's wall
// time, into a temporary file; once it returns, the complete rows go to the export's file with
// Date/Time in UTC and the wall time beside it.
#pragma once

#include <string>

namespace kcli {

class RecordRestamper;

class RestampedCsv {
public:
    // Makes the temporary file and opens `destination` (FILE.part, or FILE when that is no
    // regular file) without changing what it holds yet, so that a destination that cannot be
    // written fails before the meter is read. Throws std::runtime_error with a one-line message.
    explicit RestampedCsv(const std::string& destination);
    ~RestampedCsv();
    RestampedCsv(const RestampedCsv&) = delete;
    RestampedCsv& operator=(const RestampedCsv&) = delete;

    // Where the library writes its CSV.
    const std::string& library_path() const { return library_path_; }

    // Writes the header and the complete rows the library wrote, restamped in their order, to the
    // destination and closes it; returns the rows written (the header not counted). When the
    // library wrote nothing, the destination keeps what it held. A row whose time cannot be read
    // or a failed write sets `error`; the rows before it stay written.
    int finish(RecordRestamper& restamper, std::string& error);

private:
    bool write(const std::string& text, std::string& error);

    std::string destination_;
    std::string library_path_;
    int fd_ = -1;
    bool regular_ = false;  // a regular file is emptied before the first row goes in
    bool started_ = false;
};

}  // namespace kcli
