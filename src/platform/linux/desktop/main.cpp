// The Linux program: the GTK desktop and the WebKitGTK host behind App's seams.
#include "CommandLine.h"
#include "LinuxDesktop.h"
#include "LinuxWebHost.h"
#include "app/RunShell.h"

int main(int argc, char** argv) {
  if (const auto answered = answerCommandLine(argc, argv)) return *answered;
  LinuxDesktop desktop(argc, argv);
  LinuxWebHost web(desktop);
  return runShell(desktop, web);
}
