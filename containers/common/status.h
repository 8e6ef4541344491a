#pragma once

/// Status codes returned by the parser operations and their handlers.
namespace Status {
enum : int {
    Success = 0,
    CannotOpen = 2,        ///< the file could not be opened for reading
    NotThisFormat = 3,     ///< the file is not of this parser's format
    NotVideoStream = 4,    ///< an index entry names a stream that is not a listed video stream
    UnexpectedEnd = 5,     ///< the file ended inside a structure
    TooLong = 6,           ///< an EBML identifier or size is longer than allowed
    NotInTable = 7,        ///< identifier not in the dispatch table
    AllocationFailed = 9,  ///< a buffer could not be allocated
};
}
