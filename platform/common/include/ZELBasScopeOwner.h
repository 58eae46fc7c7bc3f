/// @file ZELBasScopeOwner.h
/// The code base's one scope owner: a value and the function that releases
/// it, called when the owner leaves its scope by any way out, exceptions
/// included, unless the value was taken back first.
#pragma once

/// Owns `value` until the end of the scope, then calls `release(value)`
/// unless the value is `empty` (nothing was acquired, or it was taken).
///
///     ZELBasScopeOwner file(std::fopen(name, "r"), &std::fclose);
///     ZELBasScopeOwner fd(open(name, O_RDONLY), &CloseDescriptor, -1);
///     ZELBasScopeOwner undo(node, [](Node* n) { n->RemoveLastChild(); });
///     ...
///     undo.Take();  // finished: nothing to undo
///
/// `release`'s result, if any, is ignored: a caller that must see it (the
/// close of a written file) calls Take() and releases by hand.
template <class Value, class Release>
class ZELBasScopeOwner {
public:
  /// Owns `owned`; `emptyValue` is the value that means "nothing owned".
  ZELBasScopeOwner(Value owned, Release releaser, Value emptyValue = Value())
      : value(owned), release(releaser), empty(emptyValue) {}
  ZELBasScopeOwner(const ZELBasScopeOwner&) = delete;
  ZELBasScopeOwner& operator=(const ZELBasScopeOwner&) = delete;
  ~ZELBasScopeOwner() { Reset(empty); }

  /// The value owned, or the empty value.
  Value Get() const { return value; }
  /// True while a value other than the empty one is owned.
  explicit operator bool() const { return !(value == empty); }
  /// Gives the value up without releasing it.
  Value Take() {
    Value taken = value;
    value = empty;
    return taken;
  }
  /// Releases what is owned now, then owns `owned`.
  void Reset(Value owned) {
    if (!(value == empty)) release(value);
    value = owned;
  }

private:
  Value value;
  Release release;
  Value empty;
};
