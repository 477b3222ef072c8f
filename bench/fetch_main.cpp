// vxt_fetch: one report exchange from the command line, through the same code the window runs.
//
//   vxt_fetch HOST PORT [CUSTOMER PIN [FOLDER]]
//
// Prints every log entry the exchange makes (CR shown as "\r"), and "OPEN <path>" where the
// window would hand the PDF to the shell. Exit code 0 when the exchange logged no failure.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "connection/TCPClient.h"
#include "failures/Exceptions.h"
#include "platform/System.h"
#include "report/ReportExchange.h"
#include "report/ReportHost.h"

namespace {

class ConsoleHost : public vxt::ReportHost {
 public:
  ConsoleHost(std::string server, std::string customer, std::string pin)
      : server_(std::move(server)), customer_(std::move(customer)), pin_(std::move(pin)) {
    const vxt::TDate today = vxt::LocalToday();
    first_ = {today.year, today.month, 1};
    last_ = {today.year, today.month, 28};
  }
  std::string ServerText() override { return server_; }
  std::string CustomerText() override { return customer_; }
  std::string PinText() override { return pin_; }
  vxt::TDate FirstDay() override { return first_; }
  vxt::TDate LastDay() override { return last_; }
  void ClearLog() override {}
  void AppendLog(const std::string& entry) override {
    std::string shown;
    for (char c : entry) {
      if (c == '\r') shown += "\\r";
      else if (c == '\n') shown += "\\n";
      else shown += c;
    }
    std::printf("%s\n", shown.c_str());
    if (entry.rfind("Error while connecting to TCP SERVER:", 0) == 0) failed_ = true;
  }
  void ProcessMessages() override {}
  bool ShellOpen(const vxt::TPath& path) override {
    std::printf("OPEN %s\n", path.Bytes().c_str());
    return true;
  }
  bool Failed() const { return failed_; }

 private:
  std::string server_, customer_, pin_;
  vxt::TDate first_, last_;
  bool failed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: vxt_fetch HOST PORT [CUSTOMER PIN [FOLDER]]\n");
    return 2;
  }
  try {
    ConsoleHost host(argv[1], argc > 3 ? argv[3] : "2", argc > 4 ? argv[4] : "1");
    vxt::TTCPClient client;
    client.SetPort(std::atoi(argv[2]));
    client.SetConnectTimeout(5000);
    client.SetReadTimeout(45000);
    vxt::ReportExchange exchange(client, host);
    if (argc > 5) exchange.SetFolder(vxt::TPath(argv[5]));
    exchange.RunReport();
    std::fflush(stdout);
    return host.Failed() ? 1 : 0;
  } catch (const vxt::Exception& e) {
    std::fprintf(stderr, "%s: %s\n", e.ClassName(), e.Message().c_str());
    return 3;
  }
}
