#include "Endpoints.h"

#include <fstream>
#include <stdexcept>

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

namespace HarluneSim {

using nlohmann::json;

namespace {

const std::string kPrefix = kApiPrefix;

Response jsonResponse(const json& body) {
    Response r;
    r.body = body.dump(-1, ' ', false, json::error_handler_t::replace);
    return r;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool isPlainJson(const std::string& contentType) {
    const std::string json = "application/json";
    return contentType == json || startsWith(contentType, json + ";");
}

}  // namespace

Endpoints::Endpoints(SimState& state, std::string key) : state_(state), key_(std::move(key)) {}

void Endpoints::loadAnswers(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read answer file " + path);
    json doc;
    try {
        in >> doc;
    } catch (const json::exception& e) {
        throw std::runtime_error("answer file " + path + ": " + e.what());
    }
    if (!doc.is_object()) throw std::runtime_error("answer file must hold a JSON object");
    for (const auto& item : doc.items()) {
        const json& spec = item.value();
        if (!spec.is_object()) throw std::runtime_error("answer for " + item.key() + " is not an object");
        Response r;
        r.status = spec.value("status", 200);
        if (spec.contains("body")) {
            const json& body = spec["body"];
            r.body = body.is_string() ? body.get<std::string>() : body.dump();
        }
        r.contentType = spec.value("content_type", std::string("application/json"));
        answers_[item.key()] = r;
    }
}

Response Endpoints::handle(const WireRequest& request) {
    const std::string path = request.path();
    const std::string& method = request.method;
    const bool keyOk = request.hasHeader(kKeyHeader) && request.header(kKeyHeader) == key_;

    enum class Route { Ping, Version, Transfers, Window, Activity, Exit, Relayed };
    Route route = Route::Relayed;
    if (method == "GET" && path == kPrefix + "/info/ping") route = Route::Ping;
    else if (method == "GET" && path == "/v4/harlune/version") route = Route::Version;
    else if (method == "POST" && path == "/transfers/") route = Route::Transfers;
    else if (method == "GET" && startsWith(path, "/windows/")) route = Route::Window;
    else if (method == "POST" && path == kPrefix + "/transfers/activity") route = Route::Activity;
    else if (method == "POST" && path == kPrefix + "/info/exit") route = Route::Exit;

    bool needsKey = route != Route::Ping && route != Route::Exit;
    if (route == Route::Relayed && isPlainJson(request.header("Content-Type"))) needsKey = false;
    if (needsKey && !keyOk)
        return errorResponse(401, request.hasHeader(kKeyHeader) ? "Wrong access key"
                                                                : "Missing access key");

    auto canned = answers_.find(method + " " + path);
    if (canned != answers_.end()) return canned->second;

    switch (route) {
    case Route::Ping: return jsonResponse({{"status", "running"}});
    case Route::Version: return version();
    case Route::Transfers: return transfers(request);
    case Route::Window: return window(path);
    case Route::Activity: return activity(request);
    case Route::Exit: return exitRequest();
    case Route::Relayed: break;
    }
    return relayed(request);
}

Response Endpoints::version() const {
    const Mode mode = state_.mode();
    Response r;
    r.contentType = "text/plain";
    r.body = mode.versionEmpty ? "" : mode.versionText;
    return r;
}

Response Endpoints::transfers(const WireRequest& request) {
    pugi::xml_document doc;
    pugi::xml_parse_result parsed = doc.load_buffer(request.body.data(), request.body.size());
    if (!parsed) return errorResponse(400, std::string("Bad xferreq XML: ") + parsed.description());
    pugi::xml_node root = doc.document_element();
    if (std::string(root.name()) != "xferreq")
        return errorResponse(400, std::string("Expected xferreq, got ") + root.name());

    Transfer t;
    t.xmlns = root.attribute("xmlns").value();
    for (pugi::xml_node src : root.children("src")) t.sources.push_back(src.child_value());
    t.destination = root.child("dest").child_value();
    // Uploads name local files as sources; downloads name remote ones.
    bool fromFiles = !t.sources.empty();
    for (const std::string& s : t.sources) fromFiles = fromFiles && startsWith(s, "file://");
    t.direction = fromFiles ? "send" : "receive";
    const int id = state_.addTransfer(std::move(t));
    return jsonResponse({{"accepted", true}, {"transfer_id", id}});
}

Response Endpoints::window(const std::string& path) {
    // "/windows/" NAME "/" ARGUMENT; the argument may be empty or missing.
    const std::string rest = path.substr(std::string("/windows/").size());
    const size_t slash = rest.find('/');
    const std::string name = rest.substr(0, slash);
    const std::string argument = slash == std::string::npos ? "" : rest.substr(slash + 1);
    if (name != "about" && name != "transfer-manager" && name != "preferences")
        return errorResponse(404, "No such window: " + name);
    state_.addWindow(name, argument);
    return jsonResponse({{"window", name}, {"argument", argument}, {"shown", true}});
}

Response Endpoints::activity(const WireRequest& request) {
    json body = json::parse(request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object())
        return errorResponse(400, "Activity request is not a JSON object");
    std::string token;
    if (body.contains("iteration_token") && body["iteration_token"].is_string())
        token = body["iteration_token"].get<std::string>();
    std::string appId;
    const json& settings = body.value("tarsen_harlune_settings", json::object());
    if (settings.is_object() && settings.contains("app_id") && settings["app_id"].is_string())
        appId = settings["app_id"].get<std::string>();
    return jsonResponse(state_.pollActivity(token, appId));
}

Response Endpoints::exitRequest() const {
    const int status = state_.mode().exitStatus;
    if (status != 200) return errorResponse(status, "Exit refused");
    Response r = jsonResponse({{"exiting", true}});
    r.after = Response::After::Exit;
    return r;
}

Response Endpoints::relayed(const WireRequest& request) const {
    return jsonResponse({{"method", request.method},
                         {"path", request.target},
                         {"content_type", request.header("Content-Type")},
                         {"body", request.body}});
}

}  // namespace HarluneSim
