// Owning pointers for GLib, GObject, GMime and libgsf objects.
#pragma once

#include <glib-object.h>
#include <glib.h>

#include <memory>

namespace bm {

struct GObjectUnref {
  void operator()(gpointer object) const {
    if (object != nullptr) g_object_unref(object);
  }
};

// A GObject-derived instance that this owner holds one reference to.
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFreeDeleter {
  void operator()(gpointer memory) const { g_free(memory); }
};

// Memory that GLib handed over with g_malloc.
template <typename T>
using GMemoryPtr = std::unique_ptr<T, GFreeDeleter>;

struct GErrorDeleter {
  void operator()(GError* error) const {
    if (error != nullptr) g_error_free(error);
  }
};
using GErrorPtr = std::unique_ptr<GError, GErrorDeleter>;

struct GDateTimeDeleter {
  void operator()(GDateTime* time) const {
    if (time != nullptr) g_date_time_unref(time);
  }
};
using GDateTimePtr = std::unique_ptr<GDateTime, GDateTimeDeleter>;

// Takes over the reference of an object a GLib call returned.
template <typename T>
GObjectPtr<T> Adopt(T* object) {
  return GObjectPtr<T>(object);
}

// Adds a reference for this owner to an object someone else holds.
template <typename T>
GObjectPtr<T> Share(T* object) {
  if (object != nullptr) g_object_ref(object);
  return GObjectPtr<T>(object);
}

}  // namespace bm
