// The about box logo: a tile pyramid beside the word mark, as SVG text.
#include "app/AboutDialog.h"

const char* const kestrixLogoLines[] = {
    R"svg(<?xml version="1.0" encoding="UTF-8"?>)svg",
    R"svg(<svg xmlns="http://www.w3.org/2000/svg" width="320" height="75" viewBox="0 0 320 75">)svg",
    R"svg(  <defs>)svg",
    R"svg(    <linearGradient id="sky" x1="0" y1="0" x2="0" y2="1">)svg",
    R"svg(      <stop offset="0" stop-color="#2f6db5"/>)svg",
    R"svg(      <stop offset="1" stop-color="#163f73"/>)svg",
    R"svg(    </linearGradient>)svg",
    R"svg(  </defs>)svg",
    R"svg(  <g id="pyramid" stroke="#ffffff" stroke-width="1">)svg",
    R"svg(    <rect x="4" y="52" width="18" height="18" fill="url(#sky)"/>)svg",
    R"svg(    <rect x="22" y="52" width="18" height="18" fill="url(#sky)"/>)svg",
    R"svg(    <rect x="40" y="52" width="18" height="18" fill="url(#sky)"/>)svg",
    R"svg(    <rect x="58" y="52" width="18" height="18" fill="url(#sky)"/>)svg",
    R"svg(    <rect x="13" y="34" width="18" height="18" fill="#3f86d6"/>)svg",
    R"svg(    <rect x="31" y="34" width="18" height="18" fill="#3f86d6"/>)svg",
    R"svg(    <rect x="49" y="34" width="18" height="18" fill="#3f86d6"/>)svg",
    R"svg(    <rect x="22" y="16" width="18" height="18" fill="#68a6ea"/>)svg",
    R"svg(    <rect x="40" y="16" width="18" height="18" fill="#68a6ea"/>)svg",
    R"svg(    <rect x="31" y="0" width="18" height="16" fill="#9cc8f5"/>)svg",
    R"svg(  </g>)svg",
    R"svg(  <text x="90" y="50" font-family="sans-serif" font-size="40" font-weight="bold" fill="#163f73">Kestrix</text>)svg",
    R"svg(  <text x="92" y="68" font-family="sans-serif" font-size="13" fill="#555555">Converter 2.1.7</text>)svg",
    R"svg(</svg>)svg",
    nullptr,
};
