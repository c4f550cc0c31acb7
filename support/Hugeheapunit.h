// Hugeheapunit: a process's heap on large pages.
//
// A run builds and drops many arrays of a few hundred kilobytes to a few
// megabytes. On 4 KiB pages the kernel faults in and zeroes every page of
// each, which was a third of the CPU of a run on a graph of 100,000 to
// 200,000 vertices. Asked to (glibc's tunable glibc.malloc.hugetlb=1), the
// allocator marks its memory for transparent huge pages: 2 MiB at a fault.
// The tunable is read only at start, so the process starts itself again
// with it set.
#pragma once

// Unless GLIBC_TUNABLES already names hugetlb (set by the user, or by an
// earlier start), adds glibc.malloc.hugetlb=1 to it and replaces the
// process with the same program and arguments (/proc/self/exe). Returns
// only when that is not done or fails; the run then goes on as it is.
void StartOnHugePages(char** argv);
