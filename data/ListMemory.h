#pragma once
// The memory of the point lists: the array of their item addresses and the chunks in which
// an owning list makes its records.
//
// A list of a million points takes 40 MB that it writes once and gives back whole, so a
// large block is taken straight from the system in as few pages as it can: 2 MiB blocks
// and larger are aligned to 2 MiB, rounded up to whole 2 MiB and marked for huge pages,
// so that where the system allows them each 2 MiB is one page fault instead of 512. A
// large block grows by moving its pages (nothing copied, nothing touched again). Freed
// blocks go straight back to the system: nothing is kept between lists. Smaller blocks,
// and every block under AddressSanitizer (which then sees each one, its bounds and its
// leaks), come from the heap.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/asan_interface.h>
#endif

namespace vrma::list_memory {

// Blocks of this size and more come from the system in huge-page units.
inline constexpr std::size_t kHugePage = std::size_t{2} << 20;

struct Block {
    void* address = nullptr;
    std::size_t bytes = 0; // what the block holds: at least what was asked for
};

// A block of at least `bytes` bytes (not zero), aligned for any record. Throws
// std::bad_alloc when the memory cannot be had.
Block Take(std::size_t bytes);
// Gives a block back (an empty one is ignored).
void Give(Block block) noexcept;
// A block of at least `bytes` bytes that holds the first `used` bytes of `block`, which it
// replaces; on a failure (std::bad_alloc) `block` is as it was.
Block Grow(Block block, std::size_t used, std::size_t bytes);

} // namespace vrma::list_memory

namespace vrma {

// A growable array of item addresses in list memory.
class ItemArray {
public:
    ItemArray() = default;
    ~ItemArray() { list_memory::Give(block_); }
    ItemArray(const ItemArray&) = delete;
    ItemArray& operator=(const ItemArray&) = delete;

    std::size_t size() const { return size_; }
    std::size_t capacity() const { return block_.bytes / sizeof(std::uintptr_t); }
    std::uintptr_t operator[](std::size_t i) const { return Data()[i]; }
    const std::uintptr_t* begin() const { return Data(); }
    const std::uintptr_t* end() const { return Data() + size_; }

    void push_back(std::uintptr_t entry) {
        if (size_ == capacity())
            reserve(size_ < 8 ? 16 : size_ * 2);
        Data()[size_++] = entry;
    }
    // Room for n entries in all.
    void reserve(std::size_t n) {
        if (n > capacity())
            block_ = list_memory::Grow(block_, size_ * sizeof(std::uintptr_t),
                                       n * sizeof(std::uintptr_t));
    }
    void clear() { size_ = 0; }
    // The free entries after the last one, for a caller that fills some of them and then
    // counts them with Grew.
    std::uintptr_t* Tail() { return Data() + size_; }
    void Grew(std::size_t n) { size_ += n; }
    // Appends n entries, the k-th being entry(k); room is made first.
    template <class Entry> void Append(std::size_t n, Entry entry) {
        reserve(size_ + n);
        std::uintptr_t* out = Data() + size_;
        for (std::size_t k = 0; k < n; ++k)
            out[k] = entry(k);
        size_ += n;
    }

private:
    std::uintptr_t* Data() const { return static_cast<std::uintptr_t*>(block_.address); }

    list_memory::Block block_;
    std::size_t size_ = 0;
};

// Chunks of list memory in which records are made in place, one after the other: a record
// goes into the first chunk with room from the current one on, and a new chunk, twice as
// large as the last (at most a few megabytes) or as large as a reservation asks, is taken
// when none has room. Until it takes the chunks of others, the chunks hold the records in
// the order in which they were made.
//
// The chunks do not destroy their records: whoever holds them does (a list, through its
// items). Under AddressSanitizer the space that holds no record is poisoned, so that a
// record used after it was given up is reported.
template <class T> class RecordChunks {
public:
    RecordChunks() = default;
    ~RecordChunks() {
        for (const Chunk& chunk : chunks_)
            Free(chunk);
    }
    RecordChunks(const RecordChunks&) = delete;
    RecordChunks& operator=(const RecordChunks&) = delete;

    // Makes a record T(args...) in the chunks.
    template <class... Args> T* AddNew(Args&&... args) {
        T* const place = NextPlace();
        Unpoison(place, 1);
        T* record;
        try {
            record = ::new (static_cast<void*>(place)) T(std::forward<Args>(args)...);
        } catch (...) {
            Poison(place, 1);
            throw;
        }
        ++chunks_[current_].used;
        ++count_;
        return record;
    }
    // Makes records one after the other, many at a time: make(place) builds a record at
    // place and returns true, or builds nothing and returns false when there are no more.
    // The records made before an exception from make are kept.
    template <class Make> void AddNewWhile(Make make) {
        for (;;) {
            const Run run = FreeRun();
            std::size_t k = 0;
            const Counting counting{*this, run, k};
            while (k < run.n && make(run.first + k))
                ++k;
            if (k < run.n)
                return;
        }
    }
    // The places for records in the current chunk, from the next one on (a new chunk when
    // none has room); Made(run, k) then counts the first k of them as made.
    struct Run {
        T* first;
        std::size_t n;
    };
    Run FreeRun() {
        T* const first = NextPlace();
        const Chunk& chunk = chunks_[current_];
        const std::size_t n = chunk.capacity - chunk.used;
        Unpoison(first, n);
        return {first, n};
    }
    void Made(const Run& run, std::size_t k) {
        chunks_[current_].used += k;
        count_ += k;
        Poison(run.first + k, run.n - k);
    }
    // How many records the chunks hold.
    std::size_t Count() const { return count_; }
    // How many more records the chunks have room for.
    std::size_t Room() const {
        std::size_t room = 0;
        for (const Chunk& chunk : chunks_)
            room += chunk.capacity - chunk.used;
        return room;
    }
    // Room for n more records: a chunk as large as is missing is taken when there is not.
    void Reserve(std::size_t n) {
        const std::size_t room = Room();
        if (room < n)
            AddChunk(n - room);
    }
    // Forgets every record (their holder has destroyed them); the chunks are kept for the
    // next records.
    void Empty() {
        for (Chunk& chunk : chunks_) {
            Poison(chunk.records, chunk.used);
            chunk.used = 0;
        }
        current_ = 0;
        count_ = 0;
    }
    // Calls f(first, n) for the records of each chunk in turn: the records in the order in
    // which they were made.
    template <class F> void ForEachRun(F f) const {
        for (const Chunk& chunk : chunks_) {
            if (chunk.used)
                f(chunk.records, chunk.used);
        }
    }
    // Makes room to take the chunks of `other`, so that Take cannot fail.
    void MakeRoomToTake(const RecordChunks& other) {
        chunks_.reserve(chunks_.size() + other.chunks_.size());
    }
    // Moves the chunks of `other`, with its records, after these; `other` is left empty.
    // The records made from then on go into chunks with room from the current one on.
    void Take(RecordChunks& other) {
        MakeRoomToTake(other);
        chunks_.insert(chunks_.end(), other.chunks_.begin(), other.chunks_.end());
        count_ += other.count_;
        other.chunks_.clear();
        other.current_ = 0;
        other.count_ = 0;
    }
    // Hands chunks that hold no records, from the last on, to `other` until it has room
    // for `records` records or none are left to hand. A chunk more than twice as large as
    // what is still missing stays: `other` takes the little it misses anew, and this one
    // keeps the room it is to fill itself (so that reading a file again takes no new room).
    void GiveEmpty(RecordChunks& other, std::size_t records) {
        std::size_t room = other.Room();
        while (room < records && chunks_.size() > current_ + 1 && chunks_.back().used == 0 &&
               records - room >= chunks_.back().capacity / 2) {
            other.chunks_.push_back(chunks_.back()); // may throw: then nothing was handed
            room += chunks_.back().capacity;
            chunks_.pop_back();
        }
    }
    // Frees the chunks that hold no records.
    void FreeEmpty() {
        std::size_t kept = 0;
        std::size_t current = 0;
        for (std::size_t k = 0; k < chunks_.size(); ++k) {
            const Chunk chunk = chunks_[k];
            if (k == current_)
                current = kept;
            if (chunk.used == 0)
                Free(chunk);
            else
                chunks_[kept++] = chunk;
        }
        current_ = current_ < chunks_.size() ? current : kept;
        chunks_.resize(kept);
    }

private:
    static constexpr std::size_t kFirstChunk = 64;                     // records
    static constexpr std::size_t kLargestChunk = std::size_t{1} << 18; // records

    struct Chunk {
        T* records;
        std::size_t capacity;
        std::size_t used;
        std::size_t bytes; // of its memory
    };

    static void Poison([[maybe_unused]] T* first, [[maybe_unused]] std::size_t n) {
#ifdef __SANITIZE_ADDRESS__
        ASAN_POISON_MEMORY_REGION(first, n * sizeof(T));
#endif
    }
    static void Unpoison([[maybe_unused]] T* first, [[maybe_unused]] std::size_t n) {
#ifdef __SANITIZE_ADDRESS__
        ASAN_UNPOISON_MEMORY_REGION(first, n * sizeof(T));
#endif
    }
    // Counts the records of a run as made when it goes, whatever way it goes.
    struct Counting {
        RecordChunks& chunks;
        const Run& run;
        const std::size_t& made;
        ~Counting() { chunks.Made(run, made); }
    };

    static void Free(const Chunk& chunk) {
        Unpoison(chunk.records, chunk.capacity);
        list_memory::Give({chunk.records, chunk.bytes});
    }

    // A new last chunk with room for at least n records (all that its memory holds).
    void AddChunk(std::size_t n) {
        chunks_.reserve(chunks_.size() + 1);
        const list_memory::Block block = list_memory::Take(n * sizeof(T));
        const Chunk chunk{static_cast<T*>(block.address), block.bytes / sizeof(T), 0, block.bytes};
        Poison(chunk.records, chunk.capacity);
        chunks_.push_back(chunk);
    }

    // Where the next record goes: the first chunk with room from the current one on; a new
    // chunk, twice as large as the last, when none has room.
    T* NextPlace() {
        while (current_ < chunks_.size() && chunks_[current_].used == chunks_[current_].capacity)
            ++current_;
        if (current_ == chunks_.size()) {
            AddChunk(chunks_.empty() ? kFirstChunk
                                     : std::min(chunks_.back().capacity * 2, kLargestChunk));
        }
        Chunk& chunk = chunks_[current_];
        return chunk.records + chunk.used;
    }

    std::vector<Chunk> chunks_;
    std::size_t current_ = 0; // the chunk that the next record goes into, or one with less room
    std::size_t count_ = 0;
};

} // namespace vrma
