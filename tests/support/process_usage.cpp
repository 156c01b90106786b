#include "support/process_usage.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace test_support {

long ResidentKib() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long OpenDescriptors() {
  std::error_code error;
  long count = 0;
  for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end; it.increment(error))
    ++count;
  return count - 1;  // the iterator's own
}

long UdpCounter(const std::string& name) {
  std::ifstream snmp("/proc/thread-self/net/snmp");
  std::string header;
  std::string values;
  while (std::getline(snmp, header) && std::getline(snmp, values)) {
    if (header.rfind("Udp:", 0) != 0) continue;
    std::istringstream names(header);
    std::istringstream numbers(values);
    std::string field;
    std::string number;
    while (names >> field && numbers >> number) {
      if (field == name) return std::atol(number.c_str());
    }
  }
  return -1;
}

std::set<std::string> ThreadIds() {
  std::set<std::string> threads;
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) return threads;
  while (const dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] != '.') threads.insert(entry->d_name);
  }
  closedir(tasks);
  return threads;
}

double CpuNanoseconds(const std::set<std::string>& ids) {
  double total = 0;
  for (const std::string& id : ids) {
    std::ifstream schedstat("/proc/self/task/" + id + "/schedstat");
    double running = 0;
    if (schedstat >> running) total += running;
  }
  return total;
}

}  // namespace test_support
