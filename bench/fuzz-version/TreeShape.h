// The shape of a version.xml answer as TinyXML reads it (deepest element and
// most attributes on one element), for the fuzzers that hold the version scan
// against TinyXML's own tree.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "tinyxml.h"
#include "update/VersionInfo.h"

// Walked without recursion: the tree may be as deep as the input lets TinyXML nest.
inline Lumo::Update::VersionInfoShape TreeShape(const TiXmlNode& root) {
    Lumo::Update::VersionInfoShape shape;
    std::vector<std::pair<const TiXmlNode*, std::size_t>> pending{{&root, 0}};
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        for (const TiXmlNode* child = node->FirstChild(); child; child = child->NextSibling()) {
            const TiXmlElement* element = child->ToElement();
            if (!element) continue;
            shape.depth = std::max(shape.depth, depth + 1);
            std::size_t attributes = 0;
            for (const TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next()) ++attributes;
            shape.attributes = std::max(shape.attributes, attributes);
            pending.emplace_back(child, depth + 1);
        }
    }
    return shape;
}
