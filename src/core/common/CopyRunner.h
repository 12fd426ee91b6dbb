// Running a copy, which may take long. It is not a question to the operator, so it has an interface of its own: the
// windows run a copy on a thread of their own behind a progress window, tests and tools run it inline.
#pragma once

#include "fs/fsys.h"

class CopyRunner
{
public:
    virtual ~CopyRunner() = default;

    // Runs the job and returns its result once the copy has ended; what the copy throws is thrown here. A copy that
    // was stopped ends with fsys::Operation::Cancel, its target as it was.
    virtual fsys::Error run(fsys::CopyJob job) = 0;
};

// Runs the copy on the caller's thread; nothing can stop it.
class InlineCopyRunner : public CopyRunner
{
public:
    fsys::Error run(fsys::CopyJob job) override { return fsys::copyReplace(job); }
};
