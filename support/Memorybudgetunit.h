// Memorybudgetunit: how much memory this process may count on, so that the
// defaults sized from "the memory" follow the limits it runs under (a
// resource limit, a container's memory limit) and not only the machine.
#pragma once

#include <cstdint>
#include <string>

// Bytes of memory this process may use: the least of the physical memory,
// the soft RLIMIT_AS and RLIMIT_DATA, and the memory limit of its control
// group (ControlGroupMemoryLimit of /proc/self/cgroup under /sys/fs/cgroup).
// 1 GiB when not even the physical memory can be read.
std::int64_t MemoryLimit();

// The tightest memory limit of the control groups that `selfCgroup` (text in
// the form of /proc/self/cgroup) places the process in, read under
// `mountRoot` (the cgroup folder, /sys/fs/cgroup): for the unified hierarchy
// ("0::PATH") the file memory.max of PATH and of every folder above it up to
// mountRoot; for the older memory hierarchy ("N:...memory...:PATH")
// memory.limit_in_bytes the same way under mountRoot/memory. Folders or files
// that are missing or do not hold a number ("max") set no limit. -1 when no
// limit is found.
std::int64_t ControlGroupMemoryLimit(const std::string& selfCgroup, const std::string& mountRoot);
