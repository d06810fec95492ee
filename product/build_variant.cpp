// Compiled once per program variant, as launcher/build_variant.cpp is: the
// shipped programs take the product's start delay and runtime versions; the
// test variants define their own.
#include "product/product.h"
#include "product_config.h"

extern const unsigned JavaStartDelayMs = PRODUCT_JAVA_START_DELAY_MS;
extern const bool AcceptModernJava = PRODUCT_ACCEPT_MODERN_JAVA != 0;

#define PRODUCT_TEXT(x) #x
#define PRODUCT_NUMBER(x) PRODUCT_TEXT(x)

// The product record: the values this very program was built with, kept in
// the file in a findable form so that a product team can pack on any
// machine with nothing but the program (tools/mksetup reads it: what the
// payload must hold, and what --list shows where the packer set nothing).
// The form of base/product_values.h behind a tag unique to the record.
extern const char productRecord[];
__attribute__((used)) const char productRecord[] =
    "LAUNCHER-PRODUCT-RECORD 1\n"
    "main-class=" PRODUCT_MAIN_CLASS "\n"
    "class-path=" PRODUCT_CLASSPATH_ELEMENT "\n"
    "download-url=" PRODUCT_DOWNLOAD_URL "\n"
    "accept-modern-java=" PRODUCT_NUMBER(PRODUCT_ACCEPT_MODERN_JAVA) "\n"
    "trace-variable=" PRODUCT_TRACE_VARIABLE "\n"
    "start-delay-ms=" PRODUCT_NUMBER(PRODUCT_JAVA_START_DELAY_MS) "\n";

// The compression methods this program's extraction reads, for the packer
// (a program without this line reads stored and deflated entries alone).
extern const char methodsRecord[];
__attribute__((used)) const char methodsRecord[] = "LAUNCHER-READS-METHODS 0 8 93\n";
