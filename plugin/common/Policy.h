// Which rules guard the user's files and identifiers. `guarded` (the default)
// closes every road by which a page could reach a path, folder or identifier
// the user did not give it; `literal` keeps the letter of the original
// algorithms, for conformance checks. Chosen once when the plug-in loads, from
// the browser's environment (TARSEN_WEB_POLICY=literal), never by a page.
#pragma once

namespace Harlune {
namespace Web {

enum class PolicyKind { Guarded, Literal };

class Policy {
public:
  // Reads the environment and logs the choice at level 3. Called once when
  // the plug-in loads; before that the policy is guarded.
  static void load();
  static PolicyKind kind() { return _kind; }
  static bool guarded() { return _kind == PolicyKind::Guarded; }
  // For unit tests only: the kind without the environment.
  static void setForTesting(PolicyKind kind) { _kind = kind; }

private:
  static PolicyKind _kind;
};

}  // namespace Web
}  // namespace Harlune
