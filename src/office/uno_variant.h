// Values between UNO and the control: a UNO any becomes the Variant the
// control's dispatch takes, and a Variant it gives back becomes an any.
#pragma once

#include <dorvane/variant.h>

#include <com/sun/star/uno/Any.hxx>

namespace dorvane::office {

// The Variant for a: void is Empty; booleans, integers, floating point and
// strings keep their kind; a null interface is Nothing; a handle made by
// toAny is its object again; any other interface is an object of no kind
// the control knows, so putting it into a member is a type mismatch. Other
// types (structs, sequences) are Empty.
Variant toVariant(const ::com::sun::star::uno::Any& a);

// The any for v: Empty and Null are void; numbers, dates (as their day
// number), Currency and Decimal (as double) and strings as their UNO types;
// Nothing is void, any other object an opaque handle for it.
::com::sun::star::uno::Any toAny(const Variant& v);

}  // namespace dorvane::office
