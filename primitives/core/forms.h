// Declares one list of forms in the generic namespace and in every processor
// path's namespace, so that tables and direct callers can name the form of
// any path (prim::p3::copyRoi8uC1 ...). A path that points its table entry at
// another path's body simply never defines its own.
#pragma once

#define VQ_DECLARE_FORMS(FORMS)  \
    namespace prim::generic {    \
    FORMS                        \
    }                            \
    namespace prim::p1 {         \
    FORMS                        \
    }                            \
    namespace prim::p2 {         \
    FORMS                        \
    }                            \
    namespace prim::p3 {         \
    FORMS                        \
    }                            \
    namespace prim::p4 {         \
    FORMS                        \
    }                            \
    namespace prim::p5 {         \
    FORMS                        \
    }

// Six table entries, one per path, naming the same form in each namespace.
#define VQ_PATH_FORMS(name)                                                                   \
    {                                                                                         \
        prim::generic::name, prim::p1::name, prim::p2::name, prim::p3::name, prim::p4::name, \
            prim::p5::name                                                                    \
    }
