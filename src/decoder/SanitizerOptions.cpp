// The sanitized build's decoder holds freed memory back for a while, to catch a use after it
// is freed (the quarantine, 256 MB by default). That memory counts against the decoder's bound
// as the app measures it, though the product never holds it: a paste of a 48-megapixel photo
// frees 150 MB of strips as its PNG is written. A small quarantine still catches a use right
// after a free, and leaves the bound to measure the decoder's own memory.
// Options set in ASAN_OPTIONS come after these, and win.

#if defined(__SANITIZE_ADDRESS__)
#define KIPPETS_DECODER_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KIPPETS_DECODER_ADDRESS_SANITIZER 1
#endif
#endif

#ifdef KIPPETS_DECODER_ADDRESS_SANITIZER
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16";
}
#endif
