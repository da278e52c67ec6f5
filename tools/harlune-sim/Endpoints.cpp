#include "Endpoints.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <stdexcept>
#include <strings.h>

#include <nlohmann/json.hpp>

#include "Xferreq.h"

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

// The media type without its parameters, in lower case.
std::string mediaType(const std::string& contentType) {
    std::string type = contentType.substr(0, contentType.find(';'));
    type.erase(type.find_last_not_of(" \t") + 1);
    for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return type;
}

bool typeFits(Endpoints::Body body, const WireRequest& request) {
    const std::string type = mediaType(request.header("Content-Type"));
    const bool json = type == "application/json" || type == "application/vnd.tarsen.xferreq+json";
    switch (body) {
    case Endpoints::Body::Any: return true;
    case Endpoints::Body::Json: return json;
    case Endpoints::Body::Xml: return type == "application/vnd.tarsen.xferreq+xml";
    case Endpoints::Body::JsonOrNone: return json || !request.hasHeader("Content-Type");
    }
    return false;
}

int headerCount(const WireRequest& request, const char* name) {
    int n = 0;
    for (const auto& h : request.headers) n += strcasecmp(h.first.c_str(), name) == 0;
    return n;
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

Endpoints::Rule Endpoints::ruleFor(const std::string& path) const {
    Rule rule{Route::Relayed, {"DELETE", "GET", "PATCH", "POST", "PUT"}, Body::Json};
    if (path == kPrefix + "/info/ping") rule = {Route::Ping, {"GET"}, Body::Any};
    else if (path == "/v4/harlune/version") rule = {Route::Version, {"GET"}, Body::Json};
    else if (path == "/transfers/") rule = {Route::Transfers, {"POST"}, Body::Xml};
    else if (startsWith(path, "/windows/")) rule = {Route::Window, {"GET"}, Body::Xml};
    else if (path == kPrefix + "/transfers/activity") rule = {Route::Activity, {"POST"}, Body::Json};
    // The plug-in's own exit request names no type.
    else if (path == kPrefix + "/info/exit") rule = {Route::Exit, {"POST"}, Body::JsonOrNone};
    // A canned answer makes its method one the path takes.
    for (const auto& answer : answers_) {
        const size_t space = answer.first.find(' ');
        const std::string method = answer.first.substr(0, space);
        if (answer.first.substr(space + 1) == path &&
            std::find(rule.methods.begin(), rule.methods.end(), method) == rule.methods.end())
            rule.methods.push_back(method);
    }
    return rule;
}

Response Endpoints::handle(const WireRequest& request) {
    const std::string path = request.path();
    const std::string& method = request.method;
    const Rule rule = ruleFor(path);

    // Two copies of a header that a lenient reader would pick one of.
    if (headerCount(request, kKeyHeader) > 1 || headerCount(request, "Content-Type") > 1)
        return errorResponse(400, "Repeated header");
    if (rule.route != Route::Ping && request.header(kKeyHeader) != key_)
        return errorResponse(401, request.hasHeader(kKeyHeader) ? "Wrong access key"
                                                                : "Missing access key");
    if (std::find(rule.methods.begin(), rule.methods.end(), method) == rule.methods.end()) {
        Response r = errorResponse(405, "Method not allowed: " + method);
        for (const std::string& allowed : rule.methods) r.allow += (r.allow.empty() ? "" : ", ") + allowed;
        return r;
    }
    if (!typeFits(rule.body, request))
        return errorResponse(415, "Unsupported content type: " + request.header("Content-Type"));
    auto canned = answers_.find(method + " " + path);
    if (canned != answers_.end()) return canned->second;

    switch (rule.route) {
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
    Transfer t;
    std::string err;
    if (!readXferreq(request.body, t, err)) return errorResponse(400, err);
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
