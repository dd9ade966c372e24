#pragma once

// Deleters that let a std::unique_ptr own an object made by a create or open function and freed
// by its matching free, close or destroy function.

// A free function that takes the owner's address and clears it, as FFmpeg's av_*_free do.
template <auto Free> struct FreeWith
{
    template <class T> void operator()(T *p) const { Free(&p); }
};

// A close or destroy function that takes the object itself.
template <auto Close> struct CloseWith
{
    template <class T> void operator()(T *p) const { Close(p); }
};

// A destroy function known only at run time, such as a decoder factory's. The owner keeps the
// function itself, so it does not depend on the factory outliving it.
template <class T> struct DestroyBy
{
    void (*pfnDestroy)(T *) = nullptr;
    void operator()(T *p) const { pfnDestroy(p); }
};
