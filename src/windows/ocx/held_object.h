// An object a member of the control holds (a database, a recordset, a
// worksheet object), handed to the host as an IDispatch without members of
// its own: a host can keep it, test it for Nothing and give it back to a
// member of a control (Set o.kivdb = o.DB), as the control's property pairs
// allow.
#pragma once

#include <dorvane/object.h>
#include <oaidl.h>
#include <windows.h>

#include <memory>

namespace dorvane::windows {

// The wrapper of object (null for none), with one reference for the caller.
IDispatch* wrapHeldObject(std::shared_ptr<Object> object);

// The object a wrapper made by wrapHeldObject holds. False for any other
// IDispatch; true with object null for a null pointer (Nothing).
bool unwrapHeldObject(IDispatch* dispatch, std::shared_ptr<Object>& object);

}  // namespace dorvane::windows
