#include "engine/connection.h"
#include "engine/connection_string.h"
#include "frame/app.h"
#include "frame/shield.h"
#include "platform/text.h"

namespace xr {

CDBConn::CDBConn() : m_pConn(std::make_unique<engine::Connection>()), m_database("LORIMDB81") {}

CDBConn::~CDBConn() {
    if (m_connected) m_pConn->Close();
}

std::string RedirectConnectString(const std::string& connectString, const std::string& server) {
    static constexpr std::string_view kServer = "Server=";
    size_t at = connectString.find(kServer);
    if (at != std::string::npos) {
        // Only the host of a host\instance server is replaced, so the thread
        // reaches the same instance on the other computer. The backslash must
        // lie in the Server= value itself.
        size_t valueBegin = at + kServer.size();
        size_t valueEnd = connectString.find(';', valueBegin);
        size_t slash = connectString.find('\\', valueBegin);
        if (slash != std::string::npos && slash < valueEnd)
            return connectString.substr(0, valueBegin) + server + connectString.substr(slash);
    }
    return "Server=" + server + ";" + connectString;
}

int CDBConn::Connect(const std::string& connectString, const char* server) {
    std::string serverName(SafeText(server));
    if (g_computerName.empty()) g_computerName = ComputerName();

    std::string text;
    if (!serverName.empty() && !IEquals(serverName, g_computerName)) {
        m_server = serverName;
        text = RedirectConnectString(connectString, m_server);
    } else {
        text = connectString;
        m_server.clear();
    }

    // A connection that cannot be opened is reported, and shown as the till
    // showed it in a message box; the password never appears, not even in
    // the engine's text, which may quote a value that swallowed it.
    const auto showAndReport = [&] {
        const ComError caught = CaughtError("The connection could not be opened.");
        const ComError e(caught.Error(),
                         engine::MaskPasswords(caught.Description(), engine::MaskAs::kMessage));
        ShowMessage(e.Description() + "\n" + engine::MaskPasswords(text));
        TheApp().ReportError(e, 20);
    };
    const bool opened = Shielded(false, showAndReport, [&] {
        m_pConn->Open(text);
        return true;
    });
    if (!opened) return 0;
    m_connected = 1;
    // A server without the configuration database yet still connects.
    Shielded(Quietly{}, [&] { m_pConn->SetDefaultDatabase(m_database); });
    return 1;
}

}  // namespace xr
