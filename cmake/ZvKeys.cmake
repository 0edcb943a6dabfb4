# Keys are embedded at build time; see the key section below.
