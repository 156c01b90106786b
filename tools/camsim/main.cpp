// camsim: the camera simulator as a program. Run it inside a private network namespace
// (ip netns exec NAME camsim ...); it refuses to run on this machine's own network.
#include <signal.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "camsim/edge_cases.h"
#include "camsim/hostile_cameras.h"
#include "camsim/simulator.h"

namespace {

void PrintUsage(std::FILE* out) {
  std::fputs(
      "usage: camsim [--count N] [--same-address A] [--file F] [--hostile] [--port P] [--log] [--edge NAME]...\n"
      "  --count N    simulate N generated cameras (distinct serial numbers, MACs and addresses)\n"
      "  --same-address A\n"
      "               start every generated camera at the address A, as cameras come out of the box\n"
      "  --file F     simulate the cameras described by the CAMERA elements of the XML file F\n"
      "  --hostile    also simulate cameras whose serial numbers and device types attack the\n"
      "               hosts that show them (ids, markup, line breaks, escapes, formulas)\n"
      "  --port P     listen on UDP port P instead of 3001\n"
      "  --log        describe every datagram received and sent on stderr\n"
      "  --edge NAME  after the replies to each search request, also send the edge case NAME\n"
      "               (repeatable; \"all\" sends every one)\n"
      "edge cases:\n",
      out);
  for (const camsim::EdgeCase& edgeCase : camsim::EdgeCases())
    std::fprintf(out, "  %-14s %s\n", edgeCase.name, edgeCase.description);
}

struct Arguments {
  int count = 0;
  std::string sameAddress;
  std::string file;
  bool hostile = false;
  camsim::Options options;
};

/// Reads the command line; false (with a message) when it is not understood.
bool ParseArguments(int argc, char** argv, Arguments* arguments) {
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    const bool hasValue = i + 1 < argc;
    if (flag == "--log") {
      arguments->options.log = stderr;
    } else if (flag == "--hostile") {
      arguments->hostile = true;
    } else if (flag == "--count" && hasValue) {
      arguments->count = std::atoi(argv[++i]);
    } else if (flag == "--same-address" && hasValue) {
      arguments->sameAddress = argv[++i];
    } else if (flag == "--file" && hasValue) {
      arguments->file = argv[++i];
    } else if (flag == "--port" && hasValue) {
      arguments->options.port = static_cast<std::uint16_t>(std::atoi(argv[++i]));
    } else if (flag == "--edge" && hasValue) {
      const std::string name = argv[++i];
      if (name == "all") {
        for (const camsim::EdgeCase& edgeCase : camsim::EdgeCases())
          arguments->options.edgeCases.push_back(edgeCase.name);
      } else {
        arguments->options.edgeCases.push_back(name);
      }
    } else {
      std::fprintf(stderr, "camsim: unknown or incomplete argument: %s\n", flag.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    PrintUsage(stdout);
    return 0;
  }
  if (!ParseArguments(argc, argv, &arguments)) {
    PrintUsage(stderr);
    return 2;
  }

  std::vector<camsim::Camera> cameras;
  if (!arguments.file.empty()) {
    std::string error;
    cameras = camsim::LoadCameras(arguments.file, &error);
    if (cameras.empty()) {
      std::fprintf(stderr, "camsim: %s: %s\n", arguments.file.c_str(), error.c_str());
      return 1;
    }
  }
  if (arguments.hostile) {
    const std::vector<camsim::Camera> hostile = camsim::HostileCameras();
    cameras.insert(cameras.end(), hostile.begin(), hostile.end());
  }
  std::vector<camsim::Camera> generated = camsim::GenerateCameras(arguments.count);
  if (!arguments.sameAddress.empty()) {
    for (camsim::Camera& camera : generated) camsim::Set(*camera.lan, "IPAddress", arguments.sameAddress);
  }
  cameras.insert(cameras.end(), generated.begin(), generated.end());

  // Blocked before the simulator's thread exists, so that only the wait below takes them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  camsim::Simulator simulator(arguments.options);
  if (!simulator.ok()) {
    std::fprintf(stderr, "camsim: %s\n", simulator.error().c_str());
    return 1;
  }
  simulator.AddCameras(cameras);
  std::fprintf(stderr, "camsim: listening on 0.0.0.0:%u with %zu cameras\n", arguments.options.port, cameras.size());
  int signal = 0;
  sigwait(&stopSignals, &signal);
  std::fprintf(stderr, "camsim: %d search requests, %ld replies sent\n", simulator.SearchRequests(),
               simulator.RepliesSent());
  return 0;
}
