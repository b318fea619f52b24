# make run   - install what is missing, build and start Kelvane
# make test  - install what is missing, build and run every test
# make install PREFIX=/usr/local [DESTDIR=...]  - build and install the program
# make package - build the Debian packages (kelvane_ and kelvane-cli_<version>_<arch>.deb in $(BUILD))
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local

.PHONY: run test build deps configure clean install package

deps:
	@sh scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@$(BUILD)/kelvane $(ARGS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

install: build
	@DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	@cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD)
