#include "soundfile/Status.h"

#include <gtest/gtest.h>

#include <string>

// Every named code must have its own text: an "unknown error" in a message hides the cause.
TEST(StatusText, NamedCodesHaveTheirOwnText) {
    for (Status s :
         {kErrFileNotOpen, kErrEndOfFile, kErrFileNotFound, kErrDuplicateFile, kErrMemoryFull,
          kErrChunkNotFound, kErrNoCOMMChunk, kErrNotPCM, kErrAIFFCompressed, kErrMalformedFile,
          kErrNameTooLong, kErrFloat32WAVE, kErrFloat64WAVE, kErrRF64}) {
        EXPECT_NE(std::string(StatusText(s)), "unknown error") << s;
    }
    EXPECT_EQ(std::string(StatusText(-12345)), "unknown error");
}
