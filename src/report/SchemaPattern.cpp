#include "report/SchemaPattern.h"

#include <climits>

namespace {

// A pattern of a schema is short; these bound the machine it becomes.
constexpr size_t kMaxStates = 20000;
constexpr int kMaxDepth = 32;
constexpr int kMaxRepeat = 1000;

}  // namespace

struct SchemaPattern::Node {
    enum class Kind { kBytes, kSequence, kChoice, kRepeat } kind = Kind::kSequence;
    std::bitset<256> bytes;
    std::vector<Node> kids;
    int min = 1, max = 1;  // max -1: no limit
};

namespace {

class Parser {
  public:
    explicit Parser(std::string_view p) : p_(p) {}
    template <typename N>
    bool Choice(N& out, int depth) {
        if (depth > kMaxDepth) return false;
        out.kind = N::Kind::kChoice;
        for (;;) {
            N seq;
            if (!Sequence(seq, depth)) return false;
            out.kids.push_back(std::move(seq));
            if (at_ < p_.size() && p_[at_] == '|') {
                ++at_;
                continue;
            }
            return true;
        }
    }

    bool AtEnd() const { return at_ == p_.size(); }

  private:
    template <typename N>
    bool Sequence(N& out, int depth) {
        out.kind = N::Kind::kSequence;
        while (at_ < p_.size() && p_[at_] != '|' && p_[at_] != ')') {
            N atom;
            if (!Atom(atom, depth)) return false;
            if (!Quantifier(atom)) return false;
            out.kids.push_back(std::move(atom));
        }
        return true;
    }

    template <typename N>
    bool Quantifier(N& atom) {
        if (at_ >= p_.size()) return true;
        int min = 1, max = 1;
        const char c = p_[at_];
        if (c == '?') {
            min = 0;
        } else if (c == '*') {
            min = 0;
            max = -1;
        } else if (c == '+') {
            max = -1;
        } else if (c == '{') {
            ++at_;
            if (!Number(min)) return false;
            max = min;
            if (at_ < p_.size() && p_[at_] == ',') {
                ++at_;
                max = -1;
                if (at_ < p_.size() && p_[at_] != '}' && !Number(max)) return false;
                if (max != -1 && max < min) return false;
            }
            if (at_ >= p_.size() || p_[at_] != '}') return false;
        } else {
            return true;
        }
        ++at_;
        if (at_ < p_.size() &&
            (p_[at_] == '?' || p_[at_] == '*' || p_[at_] == '+' || p_[at_] == '{'))
            return false;  // lazy and stacked quantifiers are not taken
        N repeat;
        repeat.kind = N::Kind::kRepeat;
        repeat.min = min;
        repeat.max = max;
        repeat.kids.push_back(std::move(atom));
        atom = std::move(repeat);
        return true;
    }

    bool Number(int& n) {
        const size_t start = at_;
        n = 0;
        while (at_ < p_.size() && p_[at_] >= '0' && p_[at_] <= '9') {
            n = n * 10 + (p_[at_++] - '0');
            if (n > kMaxRepeat) return false;
        }
        return at_ > start;
    }

    // The bytes an escape stands for; false for one not taken.
    bool Escape(char e, std::bitset<256>& set) {
        auto range = [&](char a, char b) {
            for (int c = static_cast<unsigned char>(a); c <= static_cast<unsigned char>(b); ++c)
                set.set(static_cast<size_t>(c));
        };
        switch (e) {
            case 'd':
                range('0', '9');
                return true;
            case 'w':
                range('0', '9');
                range('a', 'z');
                range('A', 'Z');
                set.set('_');
                return true;
            case 's':
                for (char c : {' ', '\t', '\n', '\r', '\f', '\v'})
                    set.set(static_cast<unsigned char>(c));
                return true;
            case 'n':
                set.set('\n');
                return true;
            case 't':
                set.set('\t');
                return true;
            default:
                if (std::string_view("\\^$.|?*+()[]{}/-").find(e) == std::string_view::npos)
                    return false;
                set.set(static_cast<unsigned char>(e));
                return true;
        }
    }

    template <typename N>
    bool Atom(N& out, int depth) {
        const char c = p_[at_++];
        out.kind = N::Kind::kBytes;
        switch (c) {
            case '(':
                if (at_ < p_.size() && p_[at_] == '?') return false;  // no special groups
                if (!Choice(out, depth + 1)) return false;
                if (at_ >= p_.size() || p_[at_] != ')') return false;
                ++at_;
                return true;
            case '.':
                out.bytes.set();
                out.bytes.reset('\n');
                return true;
            case '[':
                return Class(out.bytes);
            case '\\':
                return at_ < p_.size() && Escape(p_[at_++], out.bytes);
            case '^':
            case '$':
            case '*':
            case '+':
            case '?':
            case '{':
            case ')':
            case ']':
            case '}':
                return false;  // anchors only at the ends; quantifiers after something
            default:
                out.bytes.set(static_cast<unsigned char>(c));
                return true;
        }
    }

    bool Class(std::bitset<256>& set) {
        bool negate = false;
        if (at_ < p_.size() && p_[at_] == '^') {
            negate = true;
            ++at_;
        }
        bool first = true;
        while (at_ < p_.size() && (p_[at_] != ']' || first)) {
            first = false;
            char lo = p_[at_++];
            if (lo == '\\') {
                if (at_ >= p_.size()) return false;
                std::bitset<256> escaped;
                if (!Escape(p_[at_++], escaped)) return false;
                set |= escaped;
                continue;
            }
            if (at_ + 1 < p_.size() && p_[at_] == '-' && p_[at_ + 1] != ']') {
                char hi = p_[at_ + 1];
                if (hi == '\\') return false;
                at_ += 2;
                if (static_cast<unsigned char>(hi) < static_cast<unsigned char>(lo)) return false;
                for (int b = static_cast<unsigned char>(lo); b <= static_cast<unsigned char>(hi);
                     ++b)
                    set.set(static_cast<size_t>(b));
            } else {
                set.set(static_cast<unsigned char>(lo));
            }
        }
        if (at_ >= p_.size()) return false;
        ++at_;  // ']'
        if (negate) set.flip();
        return true;
    }

    std::string_view p_;
    size_t at_ = 0;
};

}  // namespace

int SchemaPattern::Emit(const Node& node, int next) {
    if (states_.size() > kMaxStates) {
        tooLarge_ = true;
        return next;
    }
    auto add = [this](State s) {
        states_.push_back(s);
        return static_cast<int>(states_.size() - 1);
    };
    switch (node.kind) {
        case Node::Kind::kBytes: {
            State s;
            s.kind = State::Kind::kByte;
            s.bytes = node.bytes;
            s.out = next;
            return add(s);
        }
        case Node::Kind::kSequence:
            for (auto it = node.kids.rbegin(); it != node.kids.rend(); ++it) next = Emit(*it, next);
            return next;
        case Node::Kind::kChoice: {
            int start = Emit(node.kids.back(), next);
            for (size_t i = node.kids.size() - 1; i-- > 0;) {
                State s;
                s.kind = State::Kind::kSplit;
                s.out = Emit(node.kids[i], next);
                s.out1 = start;
                start = add(s);
            }
            return start;
        }
        case Node::Kind::kRepeat: {
            const Node& kid = node.kids.front();
            if (node.max == -1) {
                State loop;
                loop.kind = State::Kind::kSplit;
                loop.out1 = next;
                const int at = add(loop);
                const int body = Emit(kid, at);
                states_[static_cast<size_t>(at)].out = body;
                next = at;
            } else {
                for (int i = node.min; i < node.max && !tooLarge_; ++i) {
                    State s;
                    s.kind = State::Kind::kSplit;
                    s.out = Emit(kid, next);
                    s.out1 = next;
                    next = add(s);
                }
            }
            for (int i = 0; i < node.min && !tooLarge_; ++i) next = Emit(kid, next);
            return next;
        }
    }
    return next;
}

bool SchemaPattern::Compile(std::string_view pattern) {
    states_.clear();
    tooLarge_ = false;
    anchoredStart_ = !pattern.empty() && pattern.front() == '^';
    if (anchoredStart_) pattern.remove_prefix(1);
    // A "$" at the end, unless it is escaped.
    anchoredEnd_ = false;
    if (!pattern.empty() && pattern.back() == '$') {
        size_t slashes = 0;
        for (size_t i = pattern.size() - 1; i-- > 0 && pattern[i] == '\\';) ++slashes;
        if (slashes % 2 == 0) {
            anchoredEnd_ = true;
            pattern.remove_suffix(1);
        }
    }
    Parser parser(pattern);
    Node root;
    if (!parser.Choice(root, 0) || !parser.AtEnd()) return false;
    states_.push_back(State{});  // 0: the match
    start_ = Emit(root, 0);
    return !tooLarge_;
}

bool SchemaPattern::Search(std::string_view text) const {
    if (start_ < 0) return false;
    const size_t n = states_.size();
    std::vector<int> current, next, stack;
    std::vector<size_t> seen(n, SIZE_MAX);
    size_t step = 0;
    // Adds a state and all it reaches without reading a byte.
    auto add = [&](std::vector<int>& list, int s) {
        stack.push_back(s);
        while (!stack.empty()) {
            const int at = stack.back();
            stack.pop_back();
            if (seen[static_cast<size_t>(at)] == step) continue;
            seen[static_cast<size_t>(at)] = step;
            const State& st = states_[static_cast<size_t>(at)];
            if (st.kind == State::Kind::kSplit) {
                stack.push_back(st.out1);
                stack.push_back(st.out);
            } else {
                list.push_back(at);
            }
        }
    };
    auto matched = [&](const std::vector<int>& list) {
        for (int s : list)
            if (s == 0) return true;
        return false;
    };
    add(current, start_);
    for (size_t i = 0;; ++i) {
        if (matched(current) && (!anchoredEnd_ || i == text.size())) return true;
        if (i == text.size()) return false;
        ++step;
        next.clear();
        const auto byte = static_cast<unsigned char>(text[i]);
        for (int s : current) {
            const State& st = states_[static_cast<size_t>(s)];
            if (st.kind == State::Kind::kByte && st.bytes.test(byte)) add(next, st.out);
        }
        // Unanchored, a match may begin at every byte.
        if (!anchoredStart_) add(next, start_);
        current.swap(next);
        if (current.empty()) return false;
    }
}
