#pragma once

#include <memory>
#include <string>

#include "base/Timings.h"
#include "hostnet/IcmpSocketKind.h"
#include "hostnet/NetHelperClient.h"
#include "hostnet/NetHelperPort.h"
#include "hostnet/PrivilegeCheck.h"
#include "net/UdpPortOpener.h"

namespace vantor {

// How the program does what needs network privileges: itself when it runs as root, and
// otherwise through its network helper, the one file of the product that carries
// capabilities. The program then holds none, so the files it reads for the operator (password,
// archive, address list, log) are read with the operator's own rights.
class NetworkAccess {
  public:
    // The program's own: direct as root; otherwise drops every capability it was started
    // with (calling thread; call before any other thread starts) and starts the helper.
    static std::unique_ptr<NetworkAccess> ForThisProcess(const Timings& timings);
    // Direct: this process binds, opens and runs the tools itself.
    NetworkAccess();
    // Through `helper`, which was started from `helperPath`; without one, `problem` says why.
    NetworkAccess(std::unique_ptr<NetHelperClient> helper, std::string helperPath,
                  std::string problem);
    ~NetworkAccess();
    NetworkAccess(const NetworkAccess&) = delete;
    NetworkAccess& operator=(const NetworkAccess&) = delete;

    // Where the program looks for its helper: ../libexec/vantor/vantor-net-helper from the
    // program's own folder, in the build tree as when installed.
    static std::string HelperPath();
    // "helper: PATH (capabilities: yes)" when the helper's file grants every capability the
    // modes need (permitted and effective, as the package's `setcap ...+ep` does),
    // "(capabilities: no)" otherwise, "(not found)" without the file. The file is what an
    // ordinary user's run gets, whoever asks.
    static std::string VersionLine();
    // The capabilities a file grants, permitted and effective, from its security.capability
    // attribute; 0 without one.
    static std::uint64_t FileCapabilities(const std::string& path);

    // The helper's requests; none when direct.
    NetHelperPort* helper();
    UdpPortOpener& ports();
    // Where raw ICMP sockets come from; empty when direct.
    RawIcmpSource rawIcmpSource();
    // What the modes may do: this process's privileges, or the helper's.
    PrivilegeState Probe() const;

  private:
    std::unique_ptr<NetHelperClient> helper_;
    std::string helperPath_;
    std::string problem_;
    bool throughHelper_ = false;
    std::unique_ptr<UdpPortOpener> helperPorts_;
};

}  // namespace vantor
