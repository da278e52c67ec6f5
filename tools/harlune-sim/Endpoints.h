// The application's HTTP interface: routes a request to its answer. The
// server around it deals with sockets, misbehaviour and the control paths.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "HttpWire.h"
#include "SimState.h"

namespace HarluneSim {

constexpr const char* kApiPrefix = "/v5/harlune";
constexpr const char* kKeyHeader = "Authorization-key";

class Endpoints {
public:
    Endpoints(SimState& state, std::string key);

    // Loads the canned answers: a JSON object mapping "METHOD PATH" to
    // {"status": N, "body": text or JSON, "content_type": text}. Throws
    // std::runtime_error when the file cannot be read or has the wrong form.
    void loadAnswers(const std::string& path);

    Response handle(const WireRequest& request);

    // The content types each endpoint takes.
    enum class Body { Any, Json, Xml, JsonOrNone };

private:
    enum class Route { Ping, Version, Transfers, Window, Activity, Exit, Relayed };
    struct Rule {
        Route route;
        std::vector<std::string> methods;
        Body body;
    };
    Rule ruleFor(const std::string& path) const;

    Response version() const;
    Response transfers(const WireRequest& request);
    Response window(const std::string& path);
    Response activity(const WireRequest& request);
    Response exitRequest() const;
    Response relayed(const WireRequest& request) const;

    SimState& state_;
    const std::string key_;
    std::map<std::string, Response> answers_;
};

}  // namespace HarluneSim
